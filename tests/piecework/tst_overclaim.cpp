#include "data/Sql.h"
#include "masterdata/MasterFixture.h"
#include "piecework/Salary.h"

#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

using namespace masterfixture;

namespace {

enum { ColId = 10 };

void choose(QComboBox* box, const QString& text)
{
    const int index = box->findText(text);
    QVERIFY2(index >= 0, qPrintable(box->objectName() + ": no item " + text));
    box->setCurrentIndex(index);
    emit box->activated(index);
}

QString questionText(int step, int total, int limit, const QString& worker, int pieces)
{
    return QStringLiteral("该款式工序%1已录入%2件，超过产品件数%3件，是否仍要保存?\n录入最多的是：%4（%5件）")
        .arg(step)
        .arg(total)
        .arg(limit)
        .arg(worker)
        .arg(pieces);
}

const QString kPlaceZhang = QStringLiteral("5");
const QString kPlaceLi = QStringLiteral("6");

} // namespace

// The question before a save that takes a step of a style past the style's piece count.
class TestOverClaim : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        env = std::make_unique<Env>();
        const qlonglong team = env->addTeam(QStringLiteral("一组"));
        env->addWorker(QStringLiteral("张三"), team, kPlaceZhang);
        env->addWorker(QStringLiteral("李四"), team, kPlaceLi);
    }
    void cleanup()
    {
        delete form;
        // The fixture goes before the checks, so that a failed check leaves no answerer behind.
        const int unexpected = env->boxes.unexpected();
        const QStringList left = env->boxes.takeTexts();
        env.reset();
        QCOMPARE(unexpected, 0);
        QCOMPARE(left, QStringList());
    }

    void question_data();
    void question();
    void answerNoSavesNothing_data();
    void answerNoSavesNothing();
    void checkFindsTheStepThroughItsIndex();

private:
    // Style A1 with two steps and this piece count, style B2 with two steps and no count.
    void addStyles(int limit) const
    {
        for (const auto& [kind, count] : {std::pair{QStringLiteral("A1"), limit}, {QStringLiteral("B2"), 0}}) {
            env->exec(QStringLiteral("INSERT INTO Product (Kind, Process, KindName, ProductCount, ProductDate) "
                                     "VALUES (?, 2, ?, ?, '2004-03-01')"),
                      {kind, kind + QStringLiteral("名"), count});
            for (int step = 1; step <= 2; ++step)
                env->exec(QStringLiteral("INSERT INTO Process (Process, ProcessName, ProductId) VALUES (?,?,?)"),
                          {QStringLiteral("工序%1").arg(step), QStringLiteral("步%1").arg(step), kind});
        }
    }
    // Records written as "worker style step pieces", e.g. "张三 A1 1 60", in key order from 1.
    void addRecords(const QStringList& records) const
    {
        for (const QString& record : records) {
            const QStringList f = record.split(QLatin1Char(' '));
            env->exec(QStringLiteral("INSERT INTO Salary (DeptName, MachineId, WorkerName, KindId, KindName, Process, "
                                     "ProcessName, ProcessSize, ProductCount, ProcessDate) "
                                     "VALUES ('一组',?,?,?,?,?,?,0,?,'2004-03-10')"),
                      {f[0] == QStringLiteral("张三") ? 5 : 6, f[0], f[1], f[1] + QStringLiteral("名"),
                       QStringLiteral("工序") + f[2], QStringLiteral("步") + f[2], f[3].toInt()});
        }
    }
    void open()
    {
        form = new TDataAddForm;
        form->show();
    }
    // Picks the record with this key in the list, as a click does.
    void pick(int id)
    {
        const QStringList ids = gridColumn(form->SalaryGrid, ColId);
        const int row = int(ids.indexOf(QString::number(id)));
        QVERIFY2(row >= 0, "record not in the list");
        pressRow(form->SalaryGrid, row);
        QCOMPARE(form->ClickedId.toInt(), id);
    }
    void fill(const QString& worker, const QString& kind, int step, int count)
    {
        choose(form->DeptName_ComboBox, QStringLiteral("一组"));
        choose(form->Machine_Combobox, worker == QStringLiteral("张三") ? kPlaceZhang : kPlaceLi);
        choose(form->Kind_ComboBox, kind);
        choose(form->Process_combobox, QStringLiteral("工序%1").arg(step));
        form->ProcessCount->setText(QString::number(count));
    }
    QStringList typed() const
    {
        return {form->DeptName_ComboBox->currentText(),
                form->Machine_Combobox->currentText(),
                form->Kind_ComboBox->currentText(),
                form->Process_combobox->currentText(),
                form->ProcessCount->text(),
                form->WorkerName};
    }

    std::unique_ptr<Env> env;
    QPointer<TDataAddForm> form;
};

void TestOverClaim::question_data()
{
    QTest::addColumn<int>("limit");
    QTest::addColumn<QStringList>("records");
    QTest::addColumn<int>("editId");    // 0: an add
    QTest::addColumn<QString>("entry"); // "worker style step pieces" typed
    QTest::addColumn<QString>("box");   // empty: no question

    const QStringList twoWorkers{"张三 A1 1 60", "李四 A1 1 30"};
    QTest::newRow("under") << 100 << twoWorkers << 0 << "李四 A1 1 9" << QString();
    QTest::newRow("equal") << 100 << twoWorkers << 0 << "李四 A1 1 10" << QString();
    QTest::newRow("over") << 100 << twoWorkers << 0 << "李四 A1 1 11" << questionText(1, 101, 100, "张三", 60);
    QTest::newRow("over, the saved record makes the most")
        << 100 << twoWorkers << 0 << "李四 A1 1 40" << questionText(1, 130, 100, "李四", 70);
    QTest::newRow("count 0 is no limit") << 0 << twoWorkers << 0 << "李四 A1 1 500" << QString();
    QTest::newRow("style without a count") << 100 << QStringList{"张三 B2 1 900"} << 0 << "李四 B2 1 5" << QString();
    QTest::newRow("other steps and styles not counted")
        << 100 << QStringList{"张三 A1 2 90", "张三 B2 1 90"} << 0 << "李四 A1 1 20" << QString();
    // Already over: an edit that keeps style and step and adds no pieces is not asked again.
    const QStringList over{"张三 A1 1 80", "李四 A1 1 40"};
    QTest::newRow("edit within, fewer") << 100 << over << 2 << "李四 A1 1 30" << QString();
    QTest::newRow("edit within, same pieces, other worker") << 100 << over << 2 << "张三 A1 1 40" << QString();
    // The edited record counts with its new pieces only.
    QTest::newRow("edit raising") << 100 << over << 2 << "李四 A1 1 41" << questionText(1, 121, 100, "张三", 80);
    QTest::newRow("edit raising, under") << 100 << QStringList{"张三 A1 1 50", "李四 A1 1 40"} << 2 << "李四 A1 1 50"
                                         << QString();
    QTest::newRow("edit moving to another step") << 100 << QStringList{"张三 A1 2 90", "李四 A1 1 40"} << 2
                                                 << "李四 A1 2 40" << questionText(2, 130, 100, "张三", 90);
    QTest::newRow("edit moving to another step, fits")
        << 100 << QStringList{"张三 A1 2 50", "李四 A1 1 40"} << 2 << "李四 A1 2 40" << QString();
    QTest::newRow("edit moving fewer pieces into a step over")
        << 100 << QStringList{"张三 A1 2 100", "李四 A1 1 40"} << 2 << "李四 A1 2 1"
        << questionText(2, 101, 100, "张三", 100);
}

// The question's text, when it comes; answered Yes, the record is saved as typed.
void TestOverClaim::question()
{
    QFETCH(int, limit);
    QFETCH(QStringList, records);
    QFETCH(int, editId);
    QFETCH(QString, entry);
    QFETCH(QString, box);
    addStyles(limit);
    addRecords(records);
    open();
    if (editId)
        pick(editId);
    const QStringList e = entry.split(QLatin1Char(' '));
    fill(e[0], e[1], e[2].toInt(), e[3].toInt());
    if (!box.isEmpty())
        env->boxes.expect(box, QMessageBox::Yes);
    click(editId ? form->cmdedit : form->cmdadd);
    QCOMPARE(env->boxes.pendingAnswers(), 0);

    const QVariant id = editId ? QVariant(editId) : env->rows(QStringLiteral("SELECT max(id) FROM Salary"))[0][0];
    QCOMPARE(env->rows(QStringLiteral("SELECT count(*) FROM Salary"))[0][0].toInt(),
             int(records.size()) + (editId ? 0 : 1));
    const QList<QVariantList> saved =
        env->rows(QStringLiteral("SELECT WorkerName, KindId, Process, ProductCount FROM Salary WHERE id=?"), {id});
    QCOMPARE(saved.size(), 1);
    QCOMPARE(
        (QStringList{saved[0][0].toString(), saved[0][1].toString(), saved[0][2].toString(), saved[0][3].toString()}),
        (QStringList{e[0], e[1], QStringLiteral("工序") + e[2], e[3]}));
    QCOMPARE(env->changeLines().size(), 1);
}

void TestOverClaim::answerNoSavesNothing_data()
{
    QTest::addColumn<int>("editId");
    QTest::newRow("add") << 0;
    QTest::newRow("edit") << 2;
}

// No: nothing saved, nothing recorded, no further box, and the fields stay as typed.
void TestOverClaim::answerNoSavesNothing()
{
    QFETCH(int, editId);
    addStyles(100);
    addRecords({"张三 A1 1 80", "李四 A1 1 10"});
    const QString stored =
        QStringLiteral("SELECT id, WorkerName, KindId, Process, ProductCount FROM Salary ORDER BY id");
    const QList<QVariantList> before = env->rows(stored);
    open();
    if (editId)
        pick(editId);
    fill(QStringLiteral("李四"), QStringLiteral("A1"), 1, 30);
    const QStringList fields = typed();
    env->boxes.expect(questionText(1, editId ? 110 : 120, 100, QStringLiteral("张三"), 80), QMessageBox::No);
    click(editId ? form->cmdedit : form->cmdadd);
    QCOMPARE(env->boxes.pendingAnswers(), 0);
    QCOMPARE(env->rows(stored), before);
    QCOMPARE(env->changeLines(), QList<QStringList>());
    QCOMPARE(typed(), fields);
    QCOMPARE(form->ClickedId, editId ? QVariant(editId) : QVariant());
}

// The check reads only the step's records: through the index on style, step and date, not by
// walking the worker index (which holds every record) in grouping order.
void TestOverClaim::checkFindsTheStepThroughItsIndex()
{
    SKIP_ON_SERVER("the file engine's query plans");
    QStringList steps;
    for (const QVariantList& row :
         env->rows(QStringLiteral("EXPLAIN QUERY PLAN ") + stepclaim::workers(data::Dialect::Sqlite),
                   {QStringLiteral("A1"), QStringLiteral("工序1"), 0}))
        steps << row.last().toString();
    const QString plan = steps.join(QStringLiteral("; "));
    QVERIFY2(plan.contains(QStringLiteral("INDEX Salary_KindStepDate (KindId=? AND Process=?)")), qPrintable(plan));
}

QTEST_MAIN(TestOverClaim)
#include "tst_overclaim.moc"
