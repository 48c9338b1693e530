#include "data/ClientName.h"
#include "data/History.h"
#include "data/LoginIdentity.h"
#include "masterdata/MasterFixture.h"
#include "piecework/MonthClose.h"

#include <QDateTime>
#include <QHeaderView>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

using namespace masterfixture;

namespace {

const QString kPickToClose = QStringLiteral("对不起，请选择所要结账的月份!");
const QString kPickToReopen = QStringLiteral("对不起，请选择所要反结账的月份!");
const QString kAlreadyClosed = QStringLiteral("对不起，该月份已结账!");
const QString kNotClosed = QStringLiteral("对不起，该月份尚未结账!");
const QString kReasonRequired = QStringLiteral("对不起，反结账必须填写原因!");
const QString kClerk = QStringLiteral("王会计");

const QString kCloseRowSql = QStringLiteral("SELECT Month, ClosedBy, ClosedAt FROM MonthClose ORDER BY Month");
const QString kLogSql = QStringLiteral(
    "SELECT ChangedAt, UserName, Host, ChangeKind, TableName, RowKey, OldValues, NewValues, Note FROM ChangeLog "
    "ORDER BY Id");

QJsonObject jsonObject(const QVariant& text)
{
    return QJsonDocument::fromJson(text.toString().toUtf8()).object();
}

} // namespace

class TestMonthClose : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        env = std::make_unique<Env>();
        LoginUser = kClerk;
        LoginRole = kAdministratorRole;
        // 2026-10: two records, 12,345.67 in all (one of them over a thousand).
        addRecord(QStringLiteral("2026-10-01"), 1000, 12.3);
        addRecord(QStringLiteral("2026-10-31"), 9, 5.63);
        // 2026-09: three records, one without a price yet.
        addRecord(QStringLiteral("2026-09-15"), 10, 1.5);
        addRecord(QStringLiteral("2026-09-30"), 20, 0.25);
        addRecord(QStringLiteral("2026-09-01"), 5, QVariant());
        // 2026-08: only a record without a price.
        addRecord(QStringLiteral("2026-08-20"), 3, QVariant());
    }
    void cleanup()
    {
        delete form;
        QCOMPARE(MonthCloseForm, nullptr);
        QCOMPARE(env->boxes.unexpected(), 0);
        QCOMPARE(env->boxes.takeTexts(), QStringList());
        env.reset();
        LoginUser.clear();
        LoginRole.clear();
    }

    void listsEveryMonthNewestFirst();
    void closesTheMonthWithItsLine();
    void refusals_data();
    void refusals();
    void closeMeetsAnotherClerksClose();
    void noAnswerChangesNothing();
    void reopenNeedsAReason_data();
    void reopenNeedsAReason();
    void reopensWithTheReason();
    void aFailedLineUndoesTheClose();

private:
    void addRecord(const QString& date, int count, const QVariant& price) const
    {
        env->exec(QStringLiteral("INSERT INTO Salary (DeptName, MachineId, WorkerName, KindId, KindName, Process, "
                                 "ProcessName, ProcessSize, ProductCount, ProcessPrice, ProcessDate) "
                                 "VALUES ('一组',5,'张三','A1','衬衫','工序1','裁剪',38,?,?,?)"),
                  {count, price, date});
    }
    void addClose(const QString& month, const QString& by, const QString& at) const
    {
        env->exec(QStringLiteral("INSERT INTO MonthClose (Month, ClosedBy, ClosedAt) VALUES (?,?,?)"), {month, by, at});
    }
    TMonthCloseForm* open()
    {
        form = new TMonthCloseForm;
        form->show();
        [this] { QVERIFY(QTest::qWaitForWindowExposed(form)); }();
        return form;
    }
    // Picks the listed month as the user does: a click on its row.
    void pick(const QString& month)
    {
        const int row = int(gridColumn(form->MonthGrid, 0).indexOf(month));
        QVERIFY2(row >= 0, qPrintable(month));
        pressRow(form->MonthGrid, row);
    }
    QStringList shownMonth(const QString& month) const
    {
        for (const QStringList& row : gridRows(form->MonthGrid))
            if (row.at(0) == month)
                return row;
        return {};
    }
    int logLines() const { return env->rows(QStringLiteral("SELECT count(*) FROM ChangeLog")).at(0).at(0).toInt(); }

    std::unique_ptr<Env> env;
    QPointer<TMonthCloseForm> form;
};

// Each month with records, and a closed month whose records are gone, newest first, with the count
// and the wage total of its records (a record without a price adds nothing).
void TestMonthClose::listsEveryMonthNewestFirst()
{
    addClose(QStringLiteral("2026-09"), QStringLiteral("李主管"), QStringLiteral("2026-10-02 09:15:00"));
    addClose(QStringLiteral("2026-06"), QStringLiteral("李主管"), QStringLiteral("2026-07-01 08:00:00"));
    open();
    QCOMPARE(form->windowTitle(), QStringLiteral("月度结账"));
    QStringList titles;
    for (int c = 0; c < form->MonthGrid->gridColumnCount(); ++c)
        titles << form->MonthGrid->gridColumn(c).title;
    QCOMPARE(titles, (QStringList{"月份", "记录数", "工资合计", "状态", "结账人", "结账时间"}));
    const QList<QStringList> expected{
        {"2026-10", "2", "￥12,350.670", "未结账", "", ""},
        {"2026-09", "3", "￥20.000", "已结账", "李主管", "2026-10-02 09:15:00"},
        {"2026-08", "1", "￥0.000", "未结账", "", ""},
        {"2026-06", "0", "￥0.000", "已结账", "李主管", "2026-07-01 08:00:00"},
    };
    QCOMPARE(gridRows(form->MonthGrid), expected);
    // Nothing is picked until the user picks a month.
    QVERIFY(form->MonthGrid->selectionModel()->selectedRows().isEmpty());
}

// "结账": the question names the month and its total; the close row and its change line commit
// together; the list shows the month closed and keeps it picked; a second close is refused.
void TestMonthClose::closesTheMonthWithItsLine()
{
    open();
    pick(QStringLiteral("2026-10"));
    env->boxes.expect(QStringLiteral("是否确定要结账2026年10月? 该月工资合计为 12,350.67 元。"), QMessageBox::Yes);
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    click(form->cmdclose);
    const QDateTime after = QDateTime::currentDateTime().addSecs(1);
    QCOMPARE(env->boxes.pendingAnswers(), 0);

    const auto closes = env->rows(kCloseRowSql);
    QCOMPARE(closes.size(), 1);
    QCOMPARE(closes.at(0).at(0).toString(), QStringLiteral("2026-10"));
    QCOMPARE(closes.at(0).at(1).toString(), kClerk);
    const QString closedAt = closes.at(0).at(2).toString();
    const QDateTime at = QDateTime::fromString(closedAt, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    QVERIFY2(at >= before && at <= after, qPrintable(closedAt));

    const auto lines = env->rows(kLogSql);
    QCOMPARE(lines.size(), 1);
    const QVariantList& line = lines.at(0);
    QCOMPARE(line.at(1).toString(), kClerk);
    QCOMPARE(line.at(2).toString(), data::thisHostName());
    QCOMPARE(line.at(3).toString(), change::kCloseMonth);
    QCOMPARE(line.at(4).toString(), QStringLiteral("MonthClose"));
    QCOMPARE(line.at(5).toString(), QStringLiteral("2026-10"));
    QVERIFY(line.at(6).isNull());
    const QJsonObject values = jsonObject(line.at(7));
    QCOMPARE(values.keys().size(), 5);
    QCOMPARE(values.value(QStringLiteral("Month")).toString(), QStringLiteral("2026-10"));
    QCOMPARE(values.value(QStringLiteral("ClosedBy")).toString(), kClerk);
    QCOMPARE(values.value(QStringLiteral("ClosedAt")).toString(), closedAt);
    QCOMPARE(values.value(QStringLiteral("Records")).toInt(), 2);
    QCOMPARE(values.value(QStringLiteral("Wages")).toDouble(), 12350.67);
    QVERIFY(line.at(8).isNull());

    QCOMPARE(shownMonth(QStringLiteral("2026-10")),
             (QStringList{"2026-10", "2", "￥12,350.670", "已结账", kClerk, closedAt}));
    const QModelIndexList picked = form->MonthGrid->selectionModel()->selectedRows();
    QCOMPARE(picked.size(), 1);
    QCOMPARE(picked.first().data().toString(), QStringLiteral("2026-10"));

    // Again: refused before any question, nothing more written.
    click(form->cmdclose);
    QCOMPARE(env->boxes.takeTexts(), QStringList{kAlreadyClosed});
    QCOMPARE(env->rows(kCloseRowSql).size(), 1);
    QCOMPARE(logLines(), 1);
}

void TestMonthClose::refusals_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("month"); // picked; empty: none
    QTest::addColumn<QString>("box");
    QTest::newRow("close, nothing picked") << "cmdclose"
                                           << "" << kPickToClose;
    QTest::newRow("reopen, nothing picked") << "cmdreopen"
                                            << "" << kPickToReopen;
    QTest::newRow("close a closed month") << "cmdclose"
                                          << "2026-09" << kAlreadyClosed;
    QTest::newRow("reopen an open month") << "cmdreopen"
                                          << "2026-10" << kNotClosed;
}

// Refused at once, with the reason typed for reopening: no question, nothing written.
void TestMonthClose::refusals()
{
    QFETCH(QString, button);
    QFETCH(QString, month);
    QFETCH(QString, box);
    addClose(QStringLiteral("2026-09"), QStringLiteral("李主管"), QStringLiteral("2026-10-02 09:15:00"));
    open();
    if (!month.isEmpty())
        pick(month);
    form->ReopenReason->setText(QStringLiteral("工价有误"));
    click(form->findChild<QPushButton*>(button));
    QCOMPARE(env->boxes.takeTexts(), QStringList{box});
    QCOMPARE(env->rows(kCloseRowSql).size(), 1);
    QCOMPARE(logLines(), 0);
    QCOMPARE(form->ReopenReason->text(), QStringLiteral("工价有误"));
}

// Another clerk closed the month after this list was read: the close finds it closed under the
// month's lock, writes nothing, and the list then shows the other clerk's close.
void TestMonthClose::closeMeetsAnotherClerksClose()
{
    open();
    pick(QStringLiteral("2026-09"));
    addClose(QStringLiteral("2026-09"), QStringLiteral("李主管"), QStringLiteral("2026-10-02 09:15:00"));
    env->boxes.expect(QStringLiteral("是否确定要结账2026年9月? 该月工资合计为 20.00 元。"), QMessageBox::Yes);
    click(form->cmdclose);
    QCOMPARE(env->boxes.takeTexts(), QStringList{kMonthClosedText});
    QCOMPARE(env->rows(kCloseRowSql).size(), 1);
    QCOMPARE(logLines(), 0);
    QCOMPARE(shownMonth(QStringLiteral("2026-09")),
             (QStringList{"2026-09", "3", "￥20.000", "已结账", "李主管", "2026-10-02 09:15:00"}));
}

// "否" to either question leaves everything as it was.
void TestMonthClose::noAnswerChangesNothing()
{
    addClose(QStringLiteral("2026-09"), QStringLiteral("李主管"), QStringLiteral("2026-10-02 09:15:00"));
    open();
    pick(QStringLiteral("2026-08"));
    env->boxes.expect(QStringLiteral("是否确定要结账2026年8月? 该月工资合计为 0.00 元。"), QMessageBox::No);
    click(form->cmdclose);
    pick(QStringLiteral("2026-09"));
    form->ReopenReason->setText(QStringLiteral("工价有误"));
    env->boxes.expect(QStringLiteral("是否确定要反结账2026年9月?"), QMessageBox::No);
    click(form->cmdreopen);
    QCOMPARE(env->boxes.pendingAnswers(), 0);
    QCOMPARE(env->rows(kCloseRowSql).size(), 1);
    QCOMPARE(logLines(), 0);
    QCOMPARE(form->ReopenReason->text(), QStringLiteral("工价有误"));
}

void TestMonthClose::reopenNeedsAReason_data()
{
    QTest::addColumn<QString>("reason");
    QTest::newRow("empty") << "";
    QTest::newRow("only blanks") << "   ";
}

void TestMonthClose::reopenNeedsAReason()
{
    QFETCH(QString, reason);
    addClose(QStringLiteral("2026-09"), QStringLiteral("李主管"), QStringLiteral("2026-10-02 09:15:00"));
    open();
    pick(QStringLiteral("2026-09"));
    form->ReopenReason->setText(reason);
    click(form->cmdreopen);
    QCOMPARE(env->boxes.takeTexts(), QStringList{kReasonRequired});
    QCOMPARE(env->rows(kCloseRowSql).size(), 1);
    QCOMPARE(logLines(), 0);
    QCOMPARE(shownMonth(QStringLiteral("2026-09")).at(3), QStringLiteral("已结账"));
}

// "反结账" with a reason: the close row goes, its values and the reason go into the line; a closed
// month without records leaves the list once it is open again.
void TestMonthClose::reopensWithTheReason()
{
    addClose(QStringLiteral("2026-09"), QStringLiteral("李主管"), QStringLiteral("2026-10-02 09:15:00"));
    addClose(QStringLiteral("2026-06"), QStringLiteral("李主管"), QStringLiteral("2026-07-01 08:00:00"));
    const QVariant closeId =
        env->rows(QStringLiteral("SELECT Id FROM MonthClose WHERE Month='2026-09'")).at(0).at(0).toLongLong();
    open();
    pick(QStringLiteral("2026-09"));
    form->ReopenReason->setText(QStringLiteral(" 工价套错，重新套用 "));
    env->boxes.expect(QStringLiteral("是否确定要反结账2026年9月?"), QMessageBox::Yes);
    click(form->cmdreopen);
    QCOMPARE(env->boxes.pendingAnswers(), 0);

    const auto closes = env->rows(kCloseRowSql);
    QCOMPARE(closes.size(), 1);
    QCOMPARE(closes.at(0).at(0).toString(), QStringLiteral("2026-06"));
    const auto lines = env->rows(kLogSql);
    QCOMPARE(lines.size(), 1);
    const QVariantList& line = lines.at(0);
    QCOMPARE(line.at(1).toString(), kClerk);
    QCOMPARE(line.at(3).toString(), change::kReopenMonth);
    QCOMPARE(line.at(4).toString(), QStringLiteral("MonthClose"));
    QCOMPARE(line.at(5).toString(), QStringLiteral("2026-09"));
    const QJsonObject before = jsonObject(line.at(6));
    QCOMPARE(before.value(QStringLiteral("Id")).toInteger(), closeId.toLongLong());
    QCOMPARE(before.value(QStringLiteral("Month")).toString(), QStringLiteral("2026-09"));
    QCOMPARE(before.value(QStringLiteral("ClosedBy")).toString(), QStringLiteral("李主管"));
    QCOMPARE(before.value(QStringLiteral("ClosedAt")).toString(), QStringLiteral("2026-10-02 09:15:00"));
    QVERIFY(line.at(7).isNull());
    QCOMPARE(line.at(8).toString(), QStringLiteral("工价套错，重新套用"));

    QCOMPARE(shownMonth(QStringLiteral("2026-09")), (QStringList{"2026-09", "3", "￥20.000", "未结账", "", ""}));
    QVERIFY(form->ReopenReason->text().isEmpty());

    // The month without records goes from the list with its close.
    pick(QStringLiteral("2026-06"));
    form->ReopenReason->setText(QStringLiteral("误结"));
    env->boxes.expect(QStringLiteral("是否确定要反结账2026年6月?"), QMessageBox::Yes);
    click(form->cmdreopen);
    QCOMPARE(gridColumn(form->MonthGrid, 0), (QStringList{"2026-10", "2026-09", "2026-08"}));
    QVERIFY(env->rows(kCloseRowSql).isEmpty());
    QCOMPARE(logLines(), 2);
    // Nothing stays picked when the picked month has gone.
    QVERIFY(form->MonthGrid->selectionModel()->selectedRows().isEmpty());
}

// The close row and its line are one change: when the line cannot be written, the month stays open.
void TestMonthClose::aFailedLineUndoesTheClose()
{
    open();
    testsupport::addRefusingTrigger(env->db(), QStringLiteral("BEFORE INSERT ON ChangeLog"));
    pick(QStringLiteral("2026-10"));
    env->boxes.expect(QStringLiteral("是否确定要结账2026年10月? 该月工资合计为 12,350.67 元。"), QMessageBox::Yes);
    click(form->cmdclose);
    const QStringList texts = env->boxes.takeTexts();
    QCOMPARE(texts.size(), 1);
    QVERIFY2(texts.first().contains(QStringLiteral("ChangeLog")), qPrintable(texts.first()));
    QVERIFY(env->rows(kCloseRowSql).isEmpty());
    QCOMPARE(shownMonth(QStringLiteral("2026-10")).at(3), QStringLiteral("未结账"));
    testsupport::dropRefusingTrigger(env->db(), QStringLiteral("BEFORE INSERT ON ChangeLog"));
}

QTEST_MAIN(TestMonthClose)
#include "tst_monthclose.moc"
