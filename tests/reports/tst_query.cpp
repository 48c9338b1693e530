#include "PrintedPdf.h"
#include "data/DataSet.h"
#include "masterdata/MasterFixture.h"
#include "reports/Query.h"
#include "toolkit/DataGrid.h"
#include "toolkit/ReportPreview.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>

#include <algorithm>
#include <functional>

using namespace masterfixture;

namespace {

const QString kNoWorkerAtMachine = QStringLiteral("对不起，此车位并没有分配人员!");
const QString kChooseCondition = QStringLiteral("对不起，请选择查询条件!");

// Detail grid columns.
enum {
    ColDept,
    ColMachine,
    ColWorker,
    ColKind,
    ColKindName,
    ColStep,
    ColStepName,
    ColDate,
    ColSize,
    ColCount,
    ColPrice,
    ColAmount,
    ColStyleDate
};
// Summary grid columns.
enum { SumDept, SumMachine, SumWorker, SumWage };

using Counts = QList<int>;

} // namespace

// The records of the fixture are told apart by their quantities, which differ.
class TestQuery : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void firstOpeningAndPageChange();
    void detailColumnsShowTheirValuesWhole();
    void machineLookupAndWorkerSearch();
    void styleStepsAndStyleSearch();
    void teamSearch();
    void quickSearch_data();
    void quickSearch();
    void monthlyDetail();
    void summaries();
    void printPreviewsTheRowsShownInTheirOrder();
    void rejectedStatementLeavesTheListEmpty();
    void summariesUseTheirIndexes();

private:
    TQueryForm* open()
    {
        form = new TQueryForm;
        form->show();
        return form;
    }
    void addStyle(const QString& kind, int steps, const QString& name, const QString& date,
                  const QList<double>& prices) const
    {
        env->exec(QStringLiteral("INSERT INTO Product (Kind, Process, KindName, ProductCount, ProductDate) "
                                 "VALUES (?,?,?,100,?)"),
                  {kind, steps, name, date});
        for (int i = 0; i < prices.size(); ++i)
            env->exec(QStringLiteral("INSERT INTO Process (Process, ProcessName, ProductId, Price) VALUES (?,?,?,?)"),
                      {QStringLiteral("工序%1").arg(i + 1), QStringLiteral("步骤"), kind, prices.at(i)});
    }
    void addRecord(const QString& dept, int machine, const QString& worker, const QString& kind,
                   const QString& kindName, int step, const QString& stepName, double size, int count,
                   const QVariant& price, const QString& date) const
    {
        env->exec(QStringLiteral("INSERT INTO Salary (DeptName, MachineId, WorkerName, KindId, KindName, Process, "
                                 "ProcessName, ProcessSize, ProductCount, ProcessPrice, ProcessDate) "
                                 "VALUES (?,?,?,?,?,?,?,?,?,?,?)"),
                  {dept, machine, worker, kind, kindName, QStringLiteral("工序%1").arg(step), stepName, size, count,
                   price, date});
    }
    Counts shownCounts(bool sorted = true) const
    {
        Counts counts;
        for (const QString& text : gridColumn(form->SalaryGrid, ColCount))
            counts << text.toInt();
        if (sorted)
            std::sort(counts.begin(), counts.end());
        return counts;
    }
    // Summary rows as "worker team place wage".
    QStringList summaryRows() const
    {
        QStringList rows;
        for (const QStringList& row : gridRows(form->SalaryMonthGrid))
            rows << QStringList{row.at(SumWorker), row.at(SumDept), row.at(SumMachine), row.at(SumWage)}.join(' ');
        return rows;
    }
    static void choose(QComboBox* list, const QString& text)
    {
        const int index = list->findText(text);
        QVERIFY2(index >= 0, qPrintable(text));
        list->setCurrentIndex(index);
    }
    // The worker names in the order the engine gives them.
    QStringList workerNames() const
    {
        QStringList names;
        for (const QVariantList& row : env->rows(QStringLiteral("Select WorkerName From Worker Order by id")))
            names << row.at(0).toString();
        return names;
    }
    static QStringList items(const QComboBox* list)
    {
        QStringList texts;
        for (int i = 0; i < list->count(); ++i)
            texts << list->itemText(i);
        return texts;
    }
    void goToPage(int index)
    {
        form->RzPage->setCurrentIndex(index);
        QCOMPARE(form->RzPage->currentIndex(), index);
    }
    // The text of the PDF the preview saves when its "保存为PDF" is used, one entry per line.
    QStringList printedLines(QPushButton* printButton);

    std::unique_ptr<Env> env;
    QPointer<TQueryForm> form;
};

void TestQuery::initTestCase()
{
    // The program's Song face with the faces that stand in for it, as at start-up.
    QFont::insertSubstitutions(QStringLiteral("宋体"), {QStringLiteral("SimSun"), QStringLiteral("AR PL UMing CN"),
                                                        QStringLiteral("WenQuanYi Zen Hei")});
}

void TestQuery::init()
{
    env = std::make_unique<Env>();
    MachineWorkerName.clear(); // as at the start of a program run
    const qlonglong one = env->addTeam(QStringLiteral("一组"));
    const qlonglong two = env->addTeam(QStringLiteral("二组"));
    env->addWorker(QStringLiteral("张三"), one, QStringLiteral("1"));
    env->addWorker(QStringLiteral("李四"), one, QStringLiteral("2"));
    env->addWorker(QStringLiteral("王五"), two, QStringLiteral("1"));
    env->addWorker(QStringLiteral("O'Brien"), two, QStringLiteral("3"));
    addStyle(QStringLiteral("K-01"), 3, QStringLiteral("衬衫"), QStringLiteral("2004-01-10"), {1.5, 2.25, 0.5});
    addStyle(QStringLiteral("K-02"), 2, QStringLiteral("裤子"), QStringLiteral("2004-02-01"), {3.0, 1.0});
    // Steps of a style that has no style row.
    env->exec(
        QStringLiteral("INSERT INTO Process (Process, ProcessName, ProductId, Price) VALUES ('工序1','x','K-99',2)"));

    const QString one1 = QStringLiteral("一组");
    const QString two2 = QStringLiteral("二组");
    addRecord(one1, 1, QStringLiteral("张三"), "K-01", "衬衫", 1, "上领", 36, 10, 1.5, "2004-03-05");
    addRecord(one1, 1, QStringLiteral("张三"), "K-01", "衬衫", 2, "锁边", 38, 4, 2.25, "2004-03-20");
    addRecord(one1, 2, QStringLiteral("李四"), "K-02", "裤子", 1, "裁剪", 0, 7, 3.0, "2004-03-31");
    addRecord(one1, 2, QStringLiteral("李四"), "K-01", "衬衫", 3, "包装", 36, 20, QVariant(), "2004-03-10"); // unpriced
    addRecord(two2, 1, QStringLiteral("王五"), "K-01", "衬衫", 1, "上领", 41, 5, 1.25, "2004-04-01");
    addRecord(two2, 1, QStringLiteral("王五"), "K-01", "衬衫", 9, "无此步", 41, 100, 1.0, "2004-03-15"); // no step row
    addRecord(two2, 1, QStringLiteral("王五"), "K-99", "外套", 1, "x", 41, 8, 2.0, "2004-03-12");        // no style row
    addRecord(one1, 1, QStringLiteral("张三"), "K-02", "裤子", 2, "A_B", 39, 3, 1.0, "2004-02-29");
    addRecord(two2, 3, QStringLiteral("O'Brien"), "K-02", "裤子", 2, "50%棉", 40, 2, 0.75, "2004-03-01");
}

void TestQuery::cleanup()
{
    delete form;
    QCOMPARE(QueryForm, nullptr);
    QCOMPARE(env->boxes.unexpected(), 0);
    QCOMPARE(env->boxes.takeTexts(), QStringList());
    env.reset();
}

const Counts kAllListed{2, 3, 4, 5, 7, 10, 20};

void TestQuery::firstOpeningAndPageChange()
{
    open();
    QCOMPARE(form->windowTitle(), QStringLiteral("查询统计"));
    QCOMPARE(form->RzPage->currentWidget(), form->WorkerSheet);
    QVERIFY(form->SalaryGrid->isVisible());
    QVERIFY(!form->SalaryMonthGrid->isVisible());
    QCOMPARE(form->SalaryGrid->model()->rowCount(), 0); // nothing loaded yet in this run
    QCOMPARE(items(form->Dept_ComboBox), (QStringList{"一组", "二组"}));
    QCOMPARE(items(form->WorkerName_ComboBox), workerNames());
    QCOMPARE(form->Machine_ComboBox->count(), 100);
    QCOMPARE(form->Machine_ComboBox->itemText(99), QStringLiteral("100"));
    for (QComboBox* list : {form->Dept_ComboBox, form->Machine_ComboBox, form->WorkerName_ComboBox})
        QCOMPARE(list->currentText(), QString());
    QVERIFY(form->M_Radio->isChecked());

    // Leaving the page and coming back lists every record with a step row and a style row.
    goToPage(3);
    goToPage(0);
    QCOMPARE(shownCounts(), kAllListed);
    const QList<QStringList> rows = gridRows(form->SalaryGrid);
    const auto rowOf = [&rows](const QString& count) {
        for (const QStringList& row : rows)
            if (row.at(ColCount) == count)
                return row;
        return QStringList();
    };
    QCOMPARE(rowOf("10"), (QStringList{"一组", "1", "张三", "K-01", "衬衫", "工序1", "上领", "2004-03-05", "36", "10",
                                       "￥1.500", "￥15.000", "2004-01-10"}));
    // An unpriced record shows no price and no amount, and adds nothing to the total.
    QCOMPARE(rowOf("20").mid(ColPrice, 2), (QStringList{"", ""}));
    QVERIFY(form->SalaryGrid->isColumnHidden(ColStyleDate));
    QCOMPARE(form->SalaryGrid->footerText(ColCount), QStringLiteral("51"));
    QCOMPARE(form->SalaryGrid->footerText(ColAmount), QStringLiteral("￥55.750"));
    QCOMPARE(DM->SalaryQuery->fieldName(11), QStringLiteral("Expr1011"));

    // Reopening shows the list last loaded; "退出" closes and frees the window.
    click(form->cmdExit);
    QTRY_VERIFY(!form);
    open();
    QCOMPARE(shownCounts(), kAllListed);
}

// The detail columns fit the grid side by side, each title whole, and a style name of seven
// characters shows whole.
void TestQuery::detailColumnsShowTheirValuesWhole()
{
    open();
    toolkit::DataGrid* grid = form->SalaryGrid;
    const QFontMetrics cells(grid->font());
    const QFontMetrics titles(grid->horizontalHeader()->font());
    int used = 0;
    for (int c = 0; c < grid->gridColumnCount(); ++c) {
        if (grid->isColumnHidden(c))
            continue;
        const QString title = grid->gridColumn(c).title;
        QVERIFY2(grid->columnWidth(c) >= titles.horizontalAdvance(title) + 6, qPrintable(title));
        used += grid->columnWidth(c);
    }
    QVERIFY2(used <= grid->viewport()->width(), qPrintable(QString::number(used)));
    QVERIFY(grid->columnWidth(ColKindName) >= cells.horizontalAdvance(QStringLiteral("儿童加厚连衣裙")) + 6);
    // The footer total of a large workshop stays readable.
    QVERIFY(grid->columnWidth(ColAmount) >= cells.horizontalAdvance(QStringLiteral("￥9,999,999.999")) + 6);
}

void TestQuery::machineLookupAndWorkerSearch()
{
    // Two more teams whose names hold a quote and a percent sign, each with its worker.
    const qlonglong oneil = env->addTeam(QStringLiteral("O'Neil组"));
    const qlonglong ironing = env->addTeam(QStringLiteral("整烫%组"));
    env->addWorker(QStringLiteral("O'Hara"), oneil, QStringLiteral("4"));
    env->addWorker(QStringLiteral("百分%之"), ironing, QStringLiteral("5"));
    addRecord("O'Neil组", 4, "O'Hara", "K-01", "衬衫", 1, "上领", 40, 30, 1.0, "2004-03-02");
    addRecord("整烫%组", 5, "百分%之", "K-01", "衬衫", 2, "锁边", 40, 40, 1.0, "2004-03-03");
    open();
    click(form->RefreshWorker);
    const Counts all = kAllListed + Counts{30, 40};
    QCOMPARE(shownCounts(), all);

    // No team chosen yet: no worker there; the search is refused, nothing runs.
    choose(form->Machine_ComboBox, "1");
    QCOMPARE(env->boxes.takeTexts(), QStringList{kNoWorkerAtMachine});
    click(form->SearchWorker);
    QCOMPARE(env->boxes.takeTexts(), QStringList{kChooseCondition});

    // Choosing the team afterwards finds the worker at the place already chosen.
    choose(form->Dept_ComboBox, "二组");
    QCOMPARE(MachineWorkerName, QStringLiteral("王五"));
    click(form->SearchWorker);
    QCOMPARE(shownCounts(), Counts{5});

    // Another team: the look-up runs again and finds that team's worker at the place.
    choose(form->Dept_ComboBox, "一组");
    QCOMPARE(MachineWorkerName, QStringLiteral("张三"));
    click(form->SearchWorker);
    QCOMPARE(shownCounts(), (Counts{3, 4, 10}));

    choose(form->Dept_ComboBox, "O'Neil组");
    QCOMPARE(env->boxes.takeTexts(), QStringList{kNoWorkerAtMachine});
    choose(form->Machine_ComboBox, "4");
    QCOMPARE(MachineWorkerName, QStringLiteral("O'Hara"));
    click(form->SearchWorker);
    QCOMPARE(shownCounts(), Counts{30});

    // A team with nobody at the place: the worker found before is dropped, the search is refused
    // with the look-up's message, and the list keeps what it showed.
    choose(form->Dept_ComboBox, "整烫%组");
    QCOMPARE(env->boxes.takeTexts(), QStringList{kNoWorkerAtMachine});
    QCOMPARE(MachineWorkerName, QString());
    click(form->SearchWorker);
    QCOMPARE(env->boxes.takeTexts(), QStringList{kNoWorkerAtMachine});
    QCOMPARE(shownCounts(), Counts{30});

    // The team's place with a worker: his records, and the printed list holds just those.
    choose(form->Machine_ComboBox, "5");
    QCOMPARE(MachineWorkerName, QStringLiteral("百分%之"));
    click(form->SearchWorker);
    QCOMPARE(shownCounts(), Counts{40});
    QStringList printedWorkers;
    for (const QString& line : printedLines(form->CmdPrint)) {
        const QStringList words = line.simplified().split(QLatin1Char(' '));
        // A detail line: worker, style, step ("工序" and its number), ...
        if (words.size() >= 5 && words.at(2).size() > 2 && words.at(2).startsWith(QStringLiteral("工序")))
            printedWorkers << words.at(0);
    }
    QCOMPARE(printedWorkers, QStringList{"百分%之"});

    // A place with no worker of the team: refused the same way.
    choose(form->Machine_ComboBox, "7");
    QCOMPARE(env->boxes.takeTexts(), QStringList{kNoWorkerAtMachine});
    click(form->SearchWorker);
    QCOMPARE(env->boxes.takeTexts(), QStringList{kNoWorkerAtMachine});
    QCOMPARE(shownCounts(), Counts{40});

    // A reopened window has no team and place chosen, so no worker from an earlier opening.
    choose(form->Machine_ComboBox, "5");
    click(form->cmdExit);
    QTRY_VERIFY(!form);
    open();
    QCOMPARE(MachineWorkerName, QString());
    choose(form->Dept_ComboBox, "二组");
    click(form->SearchWorker);
    QCOMPARE(env->boxes.takeTexts(), QStringList{kChooseCondition});
    choose(form->Machine_ComboBox, "9");
    QCOMPARE(env->boxes.takeTexts(), QStringList{kNoWorkerAtMachine});
    click(form->SearchWorker);
    QCOMPARE(env->boxes.takeTexts(), QStringList{kNoWorkerAtMachine});
    QCOMPARE(shownCounts(), Counts{40});

    // By person: a name is needed.
    form->W_Radio->setChecked(true);
    QVERIFY(!form->M_Radio->isChecked());
    click(form->SearchWorker);
    QCOMPARE(env->boxes.takeTexts(), QStringList{kChooseCondition});
    QCOMPARE(shownCounts(), Counts{40});
    choose(form->WorkerName_ComboBox, "张三");
    click(form->SearchWorker);
    QCOMPARE(shownCounts(), (Counts{3, 4, 10}));
    choose(form->WorkerName_ComboBox, "O'Brien");
    click(form->SearchWorker);
    QCOMPARE(shownCounts(), Counts{2});

    // Page changes keep the radio choice; the page's lists come back unchosen, with no worker.
    form->M_Radio->setChecked(true);
    choose(form->Machine_ComboBox, "1");
    QCOMPARE(MachineWorkerName, QStringLiteral("王五"));
    form->W_Radio->setChecked(true);
    goToPage(2);
    goToPage(0);
    QVERIFY(form->W_Radio->isChecked());
    QCOMPARE(form->Dept_ComboBox->currentText(), QString());
    QCOMPARE(MachineWorkerName, QString());
}

void TestQuery::styleStepsAndStyleSearch()
{
    open();
    goToPage(1);
    QCOMPARE(items(form->Kind_ComboBox), (QStringList{"K-02", "K-01"}));
    QCOMPARE(form->Kind_ComboBox->currentText(), QString());
    QCOMPARE(shownCounts(), kAllListed);

    choose(form->Kind_ComboBox, "K-01");
    QCOMPARE(items(form->Process_ComboBox), (QStringList{"工序1", "工序2", "工序3"}));
    QCOMPARE(form->Process_ComboBox->currentText(), QString());
    click(form->SearchKind);
    QCOMPARE(shownCounts(), (Counts{4, 5, 10, 20})); // the record of a step without a row is not listed
    choose(form->Process_ComboBox, "工序1");
    click(form->SearchKind);
    QCOMPARE(shownCounts(), (Counts{5, 10}));

    // Re-entering the page refills the styles, unchosen, and keeps the step list and its choice.
    goToPage(2);
    goToPage(1);
    QCOMPARE(form->Kind_ComboBox->currentText(), QString());
    QCOMPARE(form->Process_ComboBox->count(), 3);
    QCOMPARE(form->Process_ComboBox->currentText(), QStringLiteral("工序1"));
    // No style: nothing matches an empty style number.
    form->Process_ComboBox->setCurrentIndex(-1);
    click(form->SearchKind);
    QCOMPARE(shownCounts(), Counts{});

    // A style with two steps replaces the list.
    choose(form->Kind_ComboBox, "K-02");
    QCOMPARE(items(form->Process_ComboBox), (QStringList{"工序1", "工序2"}));
}

void TestQuery::teamSearch()
{
    open();
    goToPage(2);
    QCOMPARE(items(form->DeptName_ComboBox), (QStringList{"一组", "二组"}));
    choose(form->DeptName_ComboBox, "二组");
    click(form->SerachDept);
    QCOMPARE(shownCounts(), (Counts{2, 5}));
    click(form->RefreshDept);
    QCOMPARE(shownCounts(), kAllListed);
    form->DeptName_ComboBox->setCurrentIndex(-1);
    click(form->SerachDept);
    QCOMPARE(shownCounts(), Counts{});
}

void TestQuery::quickSearch_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<Counts>("counts");
    QTest::newRow("empty lists all") << "" << kAllListed;
    // Quantities, list prices (not stored ones), a name with "5" in it.
    QTest::newRow("5") << "5" << Counts{2, 4, 5, 10, 20};
    QTest::newRow("quantity") << "20" << Counts{20};
    QTest::newRow("list price") << "2.25" << Counts{4};
    QTest::newRow("stored price only") << "1.25" << Counts{};
    // Whole numbers read as they show: a size of 36, no "36.0".
    QTest::newRow("size") << "36" << Counts{10, 20};
    QTest::newRow("no .0 of whole numbers") << ".0" << Counts{};
    QTest::newRow("quote") << "O'B" << Counts{2};
    QTest::newRow("percent literally") << "%" << Counts{2};
    QTest::newRow("underscore literally") << "_" << Counts{3};
    QTest::newRow("step label") << "工序3" << Counts{20};
    QTest::newRow("case ignored") << "k-02" << Counts{2, 3, 7};
}

void TestQuery::quickSearch()
{
    QFETCH(QString, text);
    QFETCH(Counts, counts);
    open();
    goToPage(3);
    form->Qsearch_Edit->setText(text);
    click(form->Qsearch);
    QCOMPARE(shownCounts(), counts);
    // The text stays across page changes.
    goToPage(2);
    goToPage(3);
    QCOMPARE(form->Qsearch_Edit->text(), text);
}

void TestQuery::monthlyDetail()
{
    open();
    goToPage(4);
    const QDate today = QDate::currentDate();
    QCOMPARE(form->year_edit->text(), QString::number(today.year()));
    QCOMPARE(form->month_edit->text(), today.toString(QStringLiteral("MM")));
    QCOMPARE(items(form->Worker_ComboBox), workerNames());
    QCOMPARE(form->Worker_ComboBox->currentText(), QString());
    QCOMPARE(shownCounts(), kAllListed);

    form->year_edit->setValue(2004);
    form->month_edit->setValue(3);
    QCOMPARE(form->month_edit->text(), QStringLiteral("03"));
    // A single typed digit gets its leading zero.
    form->month_edit->setValue(4);
    QLineEdit* typed = form->month_edit->findChild<QLineEdit*>();
    typed->selectAll();
    QTest::keyClicks(typed, QStringLiteral("3"));
    QCOMPARE(form->month_edit->text(), QStringLiteral("03"));
    click(form->MonthSearch);
    // The whole of March, its last day included; no record without a step or style row.
    QCOMPARE(shownCounts(), (Counts{2, 4, 7, 10, 20}));
    choose(form->Worker_ComboBox, "张三");
    click(form->MonthSearch);
    QCOMPARE(shownCounts(), (Counts{4, 10}));
    // February of a leap year ends with the 29th.
    form->month_edit->setValue(2);
    click(form->MonthSearch);
    QCOMPARE(shownCounts(), Counts{3});
    click(form->Monthrefresh);
    QCOMPARE(shownCounts(), kAllListed);
}

void TestQuery::summaries()
{
    open();
    click(form->RefreshWorker);
    goToPage(5);
    QVERIFY(!form->SalaryGrid->isVisible());
    QVERIFY(form->SalaryMonthGrid->isVisible());
    const QDate today = QDate::currentDate();
    QCOMPARE(form->year_edit_s->text(), QString::number(today.year()));
    QCOMPARE(form->month_edit_s->text(), today.toString(QStringLiteral("MM")));
    QCOMPARE(DM->SalaryMonthQuery->fieldName(3), QStringLiteral("Expr1003"));
    // All months at stored prices, highest first: the record without a style row counts, the one
    // without a step row and the unpriced one add nothing.
    QCOMPARE(summaryRows(), (QStringList{"张三 一组 1 ￥27.000", "王五 二组 1 ￥22.250", "李四 一组 2 ￥21.000",
                                         "O'Brien 二组 3 ￥1.500"}));
    QCOMPARE(form->SalaryMonthGrid->footerText(SumWage), QStringLiteral("￥71.750"));

    form->year_edit_s->setValue(2004);
    form->month_edit_s->setValue(3);
    QCOMPARE(form->month_edit_s->text(), QStringLiteral("03"));
    click(form->SalaryMonth_search);
    QCOMPARE(summaryRows(), (QStringList{"张三 一组 1 ￥24.000", "李四 一组 2 ￥21.000", "王五 二组 1 ￥16.000",
                                         "O'Brien 二组 3 ￥1.500"}));
    QCOMPARE(form->SalaryMonthGrid->footerText(SumWage), QStringLiteral("￥62.500"));
    form->month_edit_s->setValue(5);
    click(form->SalaryMonth_search);
    QCOMPARE(summaryRows(), QStringList());
    QCOMPARE(form->SalaryMonthGrid->footerText(SumWage), QStringLiteral("￥0.000"));

    // At the list prices, over all months: the unpriced record counts at its list price.
    click(form->SalaryMonth_refresh);
    QStringList rows = summaryRows();
    rows.sort();
    QCOMPARE(rows, (QStringList{"O'Brien 二组 3 ￥2.000", "张三 一组 1 ￥27.000", "李四 一组 2 ￥31.000",
                                "王五 二组 1 ￥23.500"}));
    QCOMPARE(form->SalaryMonthGrid->footerText(SumWage), QStringLiteral("￥83.500"));

    // Leaving the page shows the detail grid again over all records.
    goToPage(4);
    QVERIFY(form->SalaryGrid->isVisible());
    QVERIFY(!form->SalaryMonthGrid->isVisible());
    QCOMPARE(shownCounts(), kAllListed);
}

QStringList TestQuery::printedLines(QPushButton* printButton)
{
    return printedpdf::printedLines([printButton] { printButton->click(); },
                                    env->dir.file(QStringLiteral("printed.pdf")));
}

void TestQuery::printPreviewsTheRowsShownInTheirOrder()
{
    open();
    click(form->RefreshWorker);
    // Sorted by quantity, largest first, by a title click.
    QCOMPARE(form->SalaryGrid->titleClick(ColCount), QStringLiteral("ProductCount DESC"));
    QCOMPARE(shownCounts(false), (Counts{20, 10, 7, 5, 4, 3, 2}));
    Counts printed;
    QString summary;
    for (const QString& line : printedLines(form->CmdPrint)) {
        const QStringList words = line.simplified().split(QLatin1Char(' '));
        // A detail line: worker, style, step, the style's date, quantity, ...
        if (words.size() >= 5 && words.at(2).size() > 2 && words.at(2).startsWith(QStringLiteral("工序")))
            printed << words.at(4).toInt();
        if (line.contains(QStringLiteral("条数据")))
            summary = line.simplified();
    }
    QCOMPARE(printed, (Counts{20, 10, 7, 5, 4, 3, 2}));
    QCOMPARE(summary, QStringLiteral("共 7 条数据 ￥55.750 元"));

    // The wage list of March, sorted lowest first.
    goToPage(5);
    form->year_edit_s->setValue(2004);
    form->month_edit_s->setValue(3);
    click(form->SalaryMonth_search);
    form->SalaryMonthGrid->titleClick(SumWage);
    QCOMPARE(form->SalaryMonthGrid->titleClick(SumWage), QStringLiteral("Expr1003 ASC"));
    QStringList names;
    for (const QString& line : printedLines(form->SalaryMonth_print)) {
        const QStringList words = line.simplified().split(QLatin1Char(' '));
        if (words.size() == 4 && words.at(3).startsWith(QStringLiteral("￥")))
            names << words.at(2);
        if (line.contains(QStringLiteral("条数据")))
            summary = line.simplified();
    }
    QCOMPARE(names, (QStringList{"O'Brien", "王五", "李四", "张三"}));
    QCOMPARE(summary, QStringLiteral("共 4 条数据 ￥62.500 元"));
}

void TestQuery::rejectedStatementLeavesTheListEmpty()
{
    open();
    click(form->RefreshWorker);
    QCOMPARE(shownCounts(), kAllListed);
    env->exec(QStringLiteral("DROP TABLE Product"));
    click(form->RefreshWorker);
    const QStringList texts = env->boxes.takeTexts();
    QCOMPARE(texts.size(), 1);
    QVERIFY2(texts.first().startsWith(QStringLiteral("操作数据表时出错")), qPrintable(texts.first()));
    QCOMPARE(form->SalaryGrid->model()->rowCount(), 0);
    QCOMPARE(form->SalaryGrid->footerText(ColAmount), QStringLiteral("￥0.000"));
    // The window goes on working: the summary does not need the style table.
    goToPage(5);
    QCOMPARE(form->SalaryMonthGrid->model()->rowCount(), 4);
}

// The month's summary finds its records through the date index; the summary over all months walks
// the index in grouping order instead of sorting every record.
void TestQuery::summariesUseTheirIndexes()
{
    SKIP_ON_SERVER("the file engine's query plans");
    const auto plan = [this](const QString& sql, const QVariantList& params) {
        QStringList steps;
        for (const QVariantList& row : env->rows(QStringLiteral("EXPLAIN QUERY PLAN ") + sql, params))
            steps << row.last().toString();
        return steps.join(QStringLiteral("; "));
    };
    const QString month = plan(querysql::summaryMonth(data::Dialect::Sqlite),
                               {QStringLiteral("2004-03-01"), QStringLiteral("2004-04-01")});
    QVERIFY2(month.contains(QStringLiteral("INDEX Salary_ProcessDate")), qPrintable(month));
    for (const QString& sql : {querysql::kSummaryAll, querysql::kSummaryListPrice}) {
        const QString all = plan(sql, {});
        QVERIFY2(all.contains(QStringLiteral("INDEX Salary_WorkerGroup")) && !all.contains(QStringLiteral("GROUP BY")),
                 qPrintable(all));
    }
}

QTEST_MAIN(TestQuery)
#include "tst_query.moc"
