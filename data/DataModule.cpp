#include "data/DataModule.h"

TDM* DM = nullptr;

TDM::TDM(QObject* owner) : QObject(owner)
{
    setObjectName(QStringLiteral("DM"));
    const auto makeSet = [this](const char* name, const QString& sql) {
        auto* set = new data::DataSet(QString::fromLatin1(name), &m_connection, this);
        set->setSql(sql);
        return set;
    };
    DmQuery = makeSet("DmQuery", QStringLiteral("Select * From UserData"));
    WorkerQuery = makeSet("WorkerQuery", QStringLiteral("Select Worker.id,WorkerName,DeptName,MachineId,EnterDate "
                                                        "From Dept,Worker Where Dept.id=Worker.Deptid\n"
                                                        "Order by Worker.id desc"));
    UserQuery = makeSet("UserQuery", QStringLiteral("Select * From UserData"));
    ProduceQuery = makeSet("ProduceQuery", QStringLiteral("Select * From Product Order by Kind Desc"));
    ProcessDataSet = makeSet("ProcessDataSet", QStringLiteral("select * from Process order by id asc"));
    SalaryQuery = makeSet(
        "SalaryQuery",
        QStringLiteral("Select a.id,a.DeptName,a.Machineid,a.WorkerName,a.KindId,a.KindName,a.Process,"
                       "a.ProcessName,a.ProcessSize,a.ProductCount ,a.ProcessPrice ,"
                       "a.productCount*a.ProcessPrice AS Expr1011,c.ProductDate ,a.ProcessDate "
                       "From Salary a,Process b ,Product c\n"
                       "Where a.KindId=b.ProductId And a.Process=b.Process And a.KindId=c.Kind Order by a.id desc"));
    SalaryMonthQuery = makeSet(
        "SalaryMonthQuery",
        QStringLiteral("SELECT a.DeptName, a.Machineid, a.WorkerName, sum(a.productCount*a.ProcessPrice) AS Expr1003 \n"
                       "FROM Salary a, Process  b WHERE a.KindId=b.ProductId And a.Process=b.Process\n"
                       "GROUP BY a.WorkerName, a.DeptName, a.Machineid Order by 1;"));
    DataAddQuery = makeSet("DataAddQuery", QStringLiteral("Select  * From Salary"));

    const auto makeSource = [this](const char* name, data::DataSet* set) {
        return new data::DataSource(QString::fromLatin1(name), set, this);
    };
    DmSource = makeSource("DmSource", DmQuery);
    WorkSource = makeSource("WorkSource", WorkerQuery);
    UserSource = makeSource("UserSource", UserQuery);
    ProduceSource = makeSource("ProduceSource", ProduceQuery);
    ProcessSource = makeSource("ProcessSource", ProcessDataSet);
    SalarySource = makeSource("SalarySource", SalaryQuery);
    SalaryMonth = makeSource("SalaryMonth", SalaryMonthQuery);
    DataAddSource = makeSource("DataAddSource", DataAddQuery);

    m_followTimer.setInterval(kFollowInterval);
    connect(&m_followTimer, &QTimer::timeout, this, [this] { data::catchUpLists(m_connection, dataSets()); });
    m_followTimer.start();

    DM = this;
}

TDM::~TDM()
{
    m_followTimer.stop();
    // Close the datasets first: the connection below must not outlive them.
    for (data::DataSet* set : dataSets())
        set->close();
    m_connection.close();
    if (DM == this)
        DM = nullptr;
}

QList<data::DataSet*> TDM::dataSets() const
{
    return {DmQuery, WorkerQuery, UserQuery, ProduceQuery, ProcessDataSet, SalaryQuery, SalaryMonthQuery, DataAddQuery};
}
