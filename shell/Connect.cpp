#include "shell/Connect.h"

#include "data/Connection.h"
#include "data/DataModule.h"
#include "data/Engine.h"
#include "data/ServerSetup.h"
#include "shell/DorvikFunction.h"
#include "shell/MAIN.h"
#include "toolkit/Fonts.h"
#include "toolkit/MessageBox.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>

TConnectForm* ConnectForm = nullptr;

namespace {

// The outcome of a look at the database, under the wait cursor while it runs.
template <class Check> data::Error waitFor(Check check)
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const data::Error error = check();
    QApplication::restoreOverrideCursor();
    return error;
}

// Whether the data folder's database file is there and holds this program's tables.
data::Error checkDatabaseFile(const QString& path)
{
    if (!QFileInfo(path).isFile())
        return data::Error{1, data::fileMissingText(path), data::ErrorKind::NoDataSource};
    if (!data::isProgramDatabaseFile(path))
        return data::Error{1, data::notThisProgramsDatabaseText(), data::ErrorKind::NotOurs};
    return {};
}

} // namespace

TConnectForm::TConnectForm(QWidget* parent) : ChildWindow(parent)
{
    ConnectForm = this;
    buildControls();
    showCurrentSource();
}

TConnectForm::~TConnectForm()
{
    if (ConnectForm == this)
        ConnectForm = nullptr;
}

void TConnectForm::buildControls()
{
    setObjectName(QStringLiteral("ConnectForm"));
    setWindowTitle(QStringLiteral("数据库连接"));
    setDesignedSize(480, 220);

    CurrentLabel = makeLabel(QStringLiteral("CurrentLabel"), QStringLiteral("当前数据库："), QRect(16, 16, 100, 20));
    CurrentSource = new QLabel(this);
    CurrentSource->setObjectName(QStringLiteral("CurrentSource"));
    CurrentSource->setFont(toolkit::songFont(12));
    CurrentSource->setGeometry(116, 16, 348, 20);

    FileRadio = new QRadioButton(QStringLiteral("数据库文件"), this);
    FileRadio->setObjectName(QStringLiteral("FileRadio"));
    FileRadio->setGeometry(16, 56, 110, 22);
    FilePath = new QLabel(QDir::toNativeSeparators(DatabaseFilePath()), this);
    FilePath->setObjectName(QStringLiteral("FilePath"));
    FilePath->setGeometry(130, 56, 334, 22);

    ServerRadio = new QRadioButton(QStringLiteral("数据库服务器"), this);
    ServerRadio->setObjectName(QStringLiteral("ServerRadio"));
    ServerRadio->setGeometry(16, 94, 110, 22);
    ServerEdit = new QLineEdit(this);
    ServerEdit->setObjectName(QStringLiteral("ServerEdit"));
    ServerEdit->setGeometry(130, 94, 334, 22);
    ServerEdit->setPlaceholderText(QStringLiteral("postgresql://主机:端口/数据库名"));
    ServerHint = new QLabel(QStringLiteral("密码请写在 ~/.pgpass 文件或 PGPASSWORD 环境变量中"), this);
    ServerHint->setObjectName(QStringLiteral("ServerHint"));
    ServerHint->setGeometry(130, 120, 334, 18);

    cmdtest = makeButton(QStringLiteral("cmdtest"), QStringLiteral("测试连接"), QRect(40, 166, 112, 32));
    cmdsave = makeButton(QStringLiteral("cmdsave"), QStringLiteral("保存"), QRect(184, 166, 112, 32));
    cmdexit = makeExitButton(QRect(328, 166, 112, 32));

    setTabOrder(FileRadio, ServerRadio);
    setTabOrder(ServerRadio, ServerEdit);
    setTabOrder(ServerEdit, cmdtest);
    setTabOrder(cmdtest, cmdsave);
    setTabOrder(cmdsave, cmdexit);

    // Typing an address chooses the server.
    connect(ServerEdit, &QLineEdit::textEdited, ServerRadio, [this] { ServerRadio->setChecked(true); });
    connect(cmdtest, &QPushButton::clicked, this, &TConnectForm::cmdtestClick);
    connect(cmdsave, &QPushButton::clicked, this, &TConnectForm::cmdsaveClick);
    connect(cmdexit, &QPushButton::clicked, this, &TConnectForm::cmdexitClick);
}

void TConnectForm::showCurrentSource()
{
    const QString source = data::Connection::dataSource();
    const bool server = data::namesServer(source);
    CurrentSource->setText(source.isEmpty() ? QStringLiteral("（数据源 Dorvik 没有登记）")
                           : server         ? source
                                            : QDir::toNativeSeparators(source));
    CurrentSource->setToolTip(CurrentSource->text());
    (server ? ServerRadio : FileRadio)->setChecked(true);
    if (server)
        ServerEdit->setText(source);
}

bool TConnectForm::typedServer(QString* uri)
{
    *uri = ServerEdit->text().trimmed();
    QString refusal;
    if (uri->isEmpty())
        refusal = QStringLiteral("对不起，请输入数据库服务器的地址!");
    else if (!data::namesServer(*uri))
        refusal = QStringLiteral("对不起，数据库服务器的地址应以 postgresql:// 开头!");
    else if (data::carriesPassword(*uri))
        refusal = QStringLiteral("对不起，%1!").arg(data::passwordInUriText());
    if (refusal.isEmpty())
        return true;
    toolkit::ShowStop(refusal);
    ServerEdit->setFocus();
    return false;
}

void TConnectForm::cmdtestClick()
{
    data::Error problem;
    if (FileRadio->isChecked()) {
        problem = waitFor([] { return checkDatabaseFile(DatabaseFilePath()); });
    } else {
        QString uri;
        if (!typedServer(&uri))
            return;
        problem = waitFor([&uri] { return data::probeServer(uri); });
    }
    if (problem.failed())
        toolkit::ShowStop(QStringLiteral("对不起，连接失败：%1!").arg(problem.text));
    else
        toolkit::ShowInfo(QStringLiteral("连接成功!"));
}

bool TConnectForm::closeOtherWindows()
{
    if (!MainForm)
        return true;
    QList<QPointer<QMdiSubWindow>> others;
    for (QMdiSubWindow* frame : MainForm->childFrames())
        if (frame->widget() != this)
            others << frame;
    for (const QPointer<QMdiSubWindow>& frame : std::as_const(others))
        if (frame)
            frame->close();
    for (QMdiSubWindow* frame : MainForm->childFrames())
        if (frame->widget() != this)
            return false;
    // Closed frames wait for the message loop to free them; their windows go now, before the
    // database changes under them.
    for (const QPointer<QMdiSubWindow>& frame : std::as_const(others))
        delete frame.data();
    return true;
}

void TConnectForm::cmdsaveClick()
{
    QString source = DatabaseFilePath();
    if (ServerRadio->isChecked()) {
        if (!typedServer(&source))
            return;
        const QString uri = source;
        if (const data::Error problem = waitFor([&uri] { return data::probeServer(uri); }); problem.failed()) {
            toolkit::ShowStop(QStringLiteral("对不起，连接失败，数据库连接没有保存：%1!").arg(problem.text));
            return;
        }
    }
    // Nothing read from the former database may stay on the screen or in the shared datasets.
    if (!closeOtherWindows()) {
        toolkit::ShowStop(QStringLiteral("对不起，请先关闭其他窗口!"));
        return;
    }
    if (const data::Error problem = data::writeDataSource(source); problem.failed()) {
        toolkit::ShowStop(QStringLiteral("对不起，%1!").arg(problem.text));
        return;
    }
    if (DM) {
        for (data::DataSet* dataSet : DM->dataSets())
            dataSet->close();
        DM->connection()->close();
    }
    if (MainForm)
        MainForm->updateServerItems();
    showCurrentSource();
    toolkit::ShowInfo(QStringLiteral("数据库连接已保存，以后的操作将使用这个数据库!"));
}
