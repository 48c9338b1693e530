#include "data/DataModule.h"
#include "data/History.h"
#include "data/LoginIdentity.h"
#include "piecework/MonthClose.h"
#include "shell/ChangeLog.h"
#include "shell/MAIN.h"
#include "testsupport/BoxAnswerer.h"
#include "testsupport/Csv.h"
#include "testsupport/TestProgramDir.h"
#include "toolkit/DataGrid.h"
#include "toolkit/GridExport.h"

#include <QAction>
#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using testsupport::BoxAnswerer;
using testsupport::TestProgramDir;

namespace {

// The lines of the fixture, by Id (their order of insertion): time, user, PC, kind, table, key,
// before, after, note.
struct Line {
    QString at, user, host, kind, table, key, before, after, note;
};

QList<Line> fixtureLines()
{
    return {
        {"2026-03-31 23:59:59", "alice", "PC1", change::kAddRecord, "Salary", "11", "", "{\"WorkerName\":\"张三\"}",
         ""},
        {"2026-04-01 00:00:00", "alice", "PC1", change::kEditRecord, "Salary", "12", "{\"ProductCount\":10}",
         "{\"ProductCount\":12}", "1000件"},
        {"2026-04-15 10:00:00", "王会计", "PC2", change::kCloseMonth, "MonthClose", "2026-03", "",
         "{\"Month\":\"2026-03\"}", "备份在 C:\\dorvik"},
        {"2026-04-30 23:59:59", "王会计", "PC2", change::kReopenMonth, "MonthClose", "2026-03",
         "{\"Month\":\"2026-03\"}", "", "工价 100% 有误"},
        {"2026-05-01 00:00:00", "bob", "PC3", change::kEditWorker, "Worker", "7", "{\"WorkerName\":\"O'Brien\"}",
         "{\"WorkerName\":\"OxBrien\"}", ""},
        {"2026-04-20 08:00:00", "bob", "PC3", change::kEditStyle, "Product", "K-ABC", "{\"KindName\":\"衬衫\"}",
         "{\"KindName\":\"衬衫A\"}", "款式 \"A\" 改名"},
        {"2026-04-21 09:30:00", "bob", "PC3", change::kEditWorker, "Worker", "8", "{\"WorkerName\":\"OyBrien\"}",
         "{\"WorkerName\":\"O_Brien\"}", ""},
    };
}

// The lines the grid shows, by their fixture number (1 = the first line), top to bottom.
QList<int> shownLines(const TChangeLogForm* form)
{
    const QList<Line> lines = fixtureLines();
    const toolkit::DataGridModel* model = form->LogGrid->gridModel();
    QList<int> shown;
    for (int row = 0; row < model->rowCount(); ++row) {
        const QString at = model->displayText(row, 0);
        const QString key = model->displayText(row, 5);
        int number = 0;
        for (int i = 0; i < lines.size(); ++i)
            if (lines.at(i).at == at && lines.at(i).key == key)
                number = i + 1;
        shown << number;
    }
    return shown;
}

} // namespace

class TestChangeLog : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void opensWithThisMonthAndItsLists();
    void filtersNarrowTheList_data();
    void filtersNarrowTheList();
    void showsEachColumnAndExports();
    void onlyTheAdministratorOpensEither_data();
    void onlyTheAdministratorOpensEither();

private:
    TMainForm* makeMain(const QString& role);
    TChangeLogForm* openLog();
    void addLine(const Line& line) const;
    void addFixture() const;
    void search(const QString& from, const QString& to, const QString& user, const QString& kind, const QString& text);

    std::unique_ptr<TestProgramDir> m_dir;
    std::unique_ptr<BoxAnswerer> m_boxes;
    QPointer<TMainForm> m_main;
    TChangeLogForm* m_form = nullptr;
};

void TestChangeLog::init()
{
    m_dir = std::make_unique<TestProgramDir>();
    m_dir->prepareDatabase();
    m_boxes = std::make_unique<BoxAnswerer>();
}

void TestChangeLog::cleanup()
{
    toolkit::setExportFileChooser({});
    delete m_main;
    QCOMPARE(ChangeLogForm, nullptr);
    QCOMPARE(MonthCloseForm, nullptr);
    QCOMPARE(DM, nullptr);
    LoginUser.clear();
    LoginRole.clear();
    QCOMPARE(m_boxes->unexpected(), 0);
    QCOMPARE(m_boxes->takeTexts(), QStringList());
    m_boxes.reset();
    m_dir.reset();
}

TMainForm* TestChangeLog::makeMain(const QString& role)
{
    LoginUser = QStringLiteral("Dorvik");
    LoginRole = role;
    m_main = new TMainForm;
    MainForm = m_main;
    m_main->show();
    return m_main;
}

// The window as the administrator opens it from the menu.
TChangeLogForm* TestChangeLog::openLog()
{
    makeMain(kAdministratorRole);
    m_main->ChangeLog->trigger();
    m_form = ChangeLogForm;
    return m_form;
}

void TestChangeLog::addLine(const Line& line) const
{
    const auto orNull = [](const QString& text) { return text.isEmpty() ? QVariant() : QVariant(text); };
    testsupport::execSql(m_dir->dbPath(),
                         QStringLiteral("INSERT INTO ChangeLog (ChangedAt, UserName, Host, ChangeKind, TableName, "
                                        "RowKey, OldValues, NewValues, Note) VALUES (?,?,?,?,?,?,?,?,?)"),
                         {line.at, line.user, line.host, line.kind, line.table, line.key, orNull(line.before),
                          orNull(line.after), orNull(line.note)});
}

void TestChangeLog::addFixture() const
{
    for (const Line& line : fixtureLines())
        addLine(line);
}

// The filters set as a user sets them, then "查询".
void TestChangeLog::search(const QString& from, const QString& to, const QString& user, const QString& kind,
                           const QString& text)
{
    m_form->DateFrom->setDate(QDate::fromString(from, Qt::ISODate));
    m_form->DateTo->setDate(QDate::fromString(to, Qt::ISODate));
    m_form->UserName_ComboBox->setEditText(user);
    const int kindIndex = m_form->Kind_ComboBox->findText(kind);
    QVERIFY2(kindIndex >= 0, qPrintable(kind));
    m_form->Kind_ComboBox->setCurrentIndex(kindIndex);
    m_form->Text_Edit->setText(text);
    m_form->cmdsearch->click();
}

// This month up to today (both days whole) by default; the users of the record and every kind to
// choose from.
void TestChangeLog::opensWithThisMonthAndItsLists()
{
    const QDate today = QDate::currentDate();
    const QDate first(today.year(), today.month(), 1);
    const auto at = [](const QDate& day, const char* time) {
        return day.toString(Qt::ISODate) + QLatin1Char(' ') + QLatin1String(time);
    };
    addLine({at(first.addDays(-1), "23:59:59"), "alice", "PC1", change::kAddRecord, "Salary", "1", "", "", ""});
    addLine({at(first, "00:00:00"), "Alice", "PC1", change::kAddRecord, "Salary", "2", "", "", ""});
    addLine({at(today, "23:59:59"), "bob", "PC1", change::kAddRecord, "Salary", "3", "", "", ""});
    addLine({at(today.addDays(1), "00:00:00"), "王会计", "PC1", change::kAddRecord, "Salary", "4", "", "", ""});
    openLog();
    QVERIFY(m_form);
    QCOMPARE(m_form->windowTitle(), QStringLiteral("修改记录"));
    QCOMPARE(m_form->DateFrom->date(), first);
    QCOMPARE(m_form->DateTo->date(), today);
    QCOMPARE(m_form->DateFrom->displayFormat(), QStringLiteral("yyyy-MM-dd"));
    QCOMPARE(m_form->LogGrid->gridModel()->rowCount(), 2);
    QCOMPARE(m_form->LogGrid->gridModel()->displayText(0, 5), QStringLiteral("3"));
    QCOMPARE(m_form->LogGrid->gridModel()->displayText(1, 5), QStringLiteral("2"));

    QStringList users;
    for (int i = 0; i < m_form->UserName_ComboBox->count(); ++i)
        users << m_form->UserName_ComboBox->itemText(i).toLower();
    QCOMPARE(users, (QStringList{"alice", "bob", "王会计"}));
    QVERIFY(m_form->UserName_ComboBox->isEditable());
    QVERIFY(m_form->UserName_ComboBox->currentText().isEmpty());

    QStringList kinds;
    for (int i = 0; i < m_form->Kind_ComboBox->count(); ++i)
        kinds << m_form->Kind_ComboBox->itemText(i);
    QCOMPARE(kinds, QStringList{QStringLiteral("全部")} + change::allKinds());
    QCOMPARE(m_form->Kind_ComboBox->currentText(), QStringLiteral("全部"));
}

void TestChangeLog::filtersNarrowTheList_data()
{
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<int>>("lines"); // newest first

    const QString all = QStringLiteral("全部");
    QTest::newRow("a month, both ends whole") << "2026-04-01"
                                              << "2026-04-30"
                                              << "" << all << "" << QList<int>{4, 7, 6, 3, 2};
    QTest::newRow("one day: its last second") << "2026-03-31"
                                              << "2026-03-31"
                                              << "" << all << "" << QList<int>{1};
    QTest::newRow("one day: its first second") << "2026-05-01"
                                               << "2026-05-01"
                                               << "" << all << "" << QList<int>{5};
    QTest::newRow("from after to") << "2026-05-01"
                                   << "2026-04-01"
                                   << "" << all << "" << QList<int>{};
    QTest::newRow("user, in any letter case") << "2026-01-01"
                                              << "2026-12-31"
                                              << "ALICE" << all << "" << QList<int>{2, 1};
    QTest::newRow("user, Chinese") << "2026-01-01"
                                   << "2026-12-31"
                                   << "王会计" << all << "" << QList<int>{4, 3};
    QTest::newRow("kind") << "2026-01-01"
                          << "2026-12-31"
                          << "" << change::kEditWorker << "" << QList<int>{5, 7};
    QTest::newRow("text in the table") << "2026-01-01"
                                       << "2026-12-31"
                                       << "" << all << "salary" << QList<int>{2, 1};
    QTest::newRow("text in the key") << "2026-01-01"
                                     << "2026-12-31"
                                     << "" << all << "k-abc" << QList<int>{6};
    QTest::newRow("text in the values before") << "2026-01-01"
                                               << "2026-12-31"
                                               << "" << all << "OyBrien" << QList<int>{7};
    QTest::newRow("text in the values after") << "2026-01-01"
                                              << "2026-12-31"
                                              << "" << all << "张三" << QList<int>{1};
    QTest::newRow("text in the note") << "2026-01-01"
                                      << "2026-12-31"
                                      << "" << all << "工价" << QList<int>{4};
    QTest::newRow("text is not looked for in user, PC or kind") << "2026-01-01"
                                                                << "2026-12-31"
                                                                << "" << all << "PC2" << QList<int>{};
    QTest::newRow("percent sign as itself") << "2026-01-01"
                                            << "2026-12-31"
                                            << "" << all << "0%" << QList<int>{4};
    QTest::newRow("underscore as itself") << "2026-01-01"
                                          << "2026-12-31"
                                          << "" << all << "O_B" << QList<int>{7};
    QTest::newRow("single quote") << "2026-01-01"
                                  << "2026-12-31"
                                  << "" << all << "O'Brien" << QList<int>{5};
    QTest::newRow("double quotes") << "2026-01-01"
                                   << "2026-12-31"
                                   << "" << all << "\"A\"" << QList<int>{6};
    QTest::newRow("backslash") << "2026-01-01"
                               << "2026-12-31"
                               << "" << all << ":\\d" << QList<int>{3};
    QTest::newRow("all four together") << "2026-04-01"
                                       << "2026-04-30"
                                       << "王会计" << change::kReopenMonth << "100%" << QList<int>{4};
    QTest::newRow("all four, one of them off") << "2026-04-01"
                                               << "2026-04-30"
                                               << "王会计" << change::kCloseMonth << "100%" << QList<int>{};
}

void TestChangeLog::filtersNarrowTheList()
{
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(QString, user);
    QFETCH(QString, kind);
    QFETCH(QString, text);
    QFETCH(QList<int>, lines);
    addFixture();
    openLog();
    QVERIFY(m_form);
    search(from, to, user, kind, text);
    QCOMPARE(shownLines(m_form), lines);
}

// Every column as stored, the current line in full below, and "导出..." writes what the list
// shows; the list edits nothing.
void TestChangeLog::showsEachColumnAndExports()
{
    addFixture();
    openLog();
    QVERIFY(m_form);
    search(QStringLiteral("2026-04-15"), QStringLiteral("2026-04-30"), QString(), QStringLiteral("全部"), QString());
    const toolkit::DataGridModel* model = m_form->LogGrid->gridModel();
    QStringList titles;
    for (int c = 0; c < model->columnCount(); ++c)
        titles << model->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
    const QStringList expectedTitles{"时间",   "用户",   "计算机", "修改类别", "数据表",
                                     "关键字", "修改前", "修改后", "说明"};
    QCOMPARE(titles, expectedTitles);
    const QList<QStringList> expected{
        {"2026-04-30 23:59:59", "王会计", "PC2", change::kReopenMonth, "MonthClose", "2026-03",
         "{\"Month\":\"2026-03\"}", "", "工价 100% 有误"},
        {"2026-04-21 09:30:00", "bob", "PC3", change::kEditWorker, "Worker", "8", "{\"WorkerName\":\"OyBrien\"}",
         "{\"WorkerName\":\"O_Brien\"}", ""},
        {"2026-04-20 08:00:00", "bob", "PC3", change::kEditStyle, "Product", "K-ABC", "{\"KindName\":\"衬衫\"}",
         "{\"KindName\":\"衬衫A\"}", "款式 \"A\" 改名"},
        {"2026-04-15 10:00:00", "王会计", "PC2", change::kCloseMonth, "MonthClose", "2026-03", "",
         "{\"Month\":\"2026-03\"}", "备份在 C:\\dorvik"},
    };
    QList<QStringList> shown;
    for (int row = 0; row < model->rowCount(); ++row) {
        QStringList cells;
        for (int c = 0; c < model->columnCount(); ++c) {
            cells << model->displayText(row, c);
            QVERIFY(!(model->flags(model->index(row, c)) & Qt::ItemIsEditable));
        }
        shown << cells;
    }
    QCOMPARE(shown, expected);
    // The current line's values and note in full under the list, following the line picked.
    QCOMPARE(m_form->LineDetail->toPlainText(),
             QStringLiteral("修改前：{\"Month\":\"2026-03\"}\n说明：工价 100% 有误"));
    QVERIFY(m_form->LineDetail->isReadOnly());
    const QRect last = m_form->LogGrid->visualRect(model->index(3, 0));
    QTest::mouseClick(m_form->LogGrid->viewport(), Qt::LeftButton, {}, last.center());
    QCOMPARE(m_form->LineDetail->toPlainText(),
             QStringLiteral("修改后：{\"Month\":\"2026-03\"}\n说明：备份在 C:\\dorvik"));

    QTemporaryDir out;
    const QString file = out.filePath(QStringLiteral("log.csv"));
    QString suggested;
    toolkit::setExportFileChooser([&](QWidget*, const QString& name) {
        suggested = name;
        return file;
    });
    std::unique_ptr<QMenu> menu(m_form->LogGrid->createContextMenu(nullptr));
    auto* exportAction = menu->findChild<QAction*>(QStringLiteral("ExportAction"));
    QVERIFY(exportAction);
    exportAction->trigger();
    QCOMPARE(QFileInfo(suggested).fileName(), QStringLiteral("修改记录.csv"));
    const QByteArray bytes = testsupport::readFile(file);
    QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
    QCOMPARE(testsupport::parseCsv(QString::fromUtf8(bytes.mid(3))), QList<QStringList>{expectedTitles} + expected);
}

void TestChangeLog::onlyTheAdministratorOpensEither_data()
{
    QTest::addColumn<QString>("role");
    QTest::addColumn<bool>("allowed");
    QTest::newRow("administrator") << kAdministratorRole << true;
    QTest::newRow("ordinary operator") << kOperatorRole << false;
}

// The two items are the administrator's: an operator finds them disabled, and their handlers open
// nothing for him.
void TestChangeLog::onlyTheAdministratorOpensEither()
{
    QFETCH(QString, role);
    QFETCH(bool, allowed);
    makeMain(role);
    QCOMPARE(m_main->ChangeLog->isEnabled(), allowed);
    QCOMPARE(m_main->MonthClose->isEnabled(), allowed);
    QCOMPARE(m_main->ChangeLog->text(), QStringLiteral("修改记录"));
    QCOMPARE(m_main->MonthClose->text(), QStringLiteral("月度结账"));
    QVERIFY(m_main->SystemSetting->actions().contains(m_main->ChangeLog));
    QVERIFY(m_main->N3->actions().contains(m_main->MonthClose));
    m_main->ChangeLogClick();
    m_main->MonthCloseClick();
    QCOMPARE(ChangeLogForm != nullptr, allowed);
    QCOMPARE(MonthCloseForm != nullptr, allowed);
    QCOMPARE(m_main->childFrames().size(), allowed ? 2 : 0);
    if (allowed) {
        QCOMPARE(ChangeLogForm->windowTitle(), QStringLiteral("修改记录"));
        QCOMPARE(MonthCloseForm->windowTitle(), QStringLiteral("月度结账"));
        // Each closes with its "退出".
        ChangeLogForm->findChild<QPushButton*>(QStringLiteral("cmdexit"))->click();
        MonthCloseForm->findChild<QPushButton*>(QStringLiteral("cmdexit"))->click();
        QTRY_VERIFY(!ChangeLogForm && !MonthCloseForm);
        QTRY_COMPARE(m_main->childFrames().size(), 0);
    }
}

QTEST_MAIN(TestChangeLog)
#include "tst_changelog.moc"
