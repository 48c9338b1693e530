#include "data/DataModule.h"
#include "data/Sql.h"
#include "testsupport/BoxAnswerer.h"
#include "testsupport/TestProgramDir.h"
#include "toolkit/ChildWindow.h"
#include "toolkit/DataGrid.h"
#include "toolkit/DisplayMask.h"

#include <QAbstractItemModelTester>
#include <QHeaderView>
#include <QLayout>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using toolkit::DataGrid;
using toolkit::GridColumn;
using toolkit::SortMark;

namespace {

const QString kList =
    QStringLiteral("Select id, WorkerName, ProductCount, ProcessPrice, ProcessDate From Salary Order by id");
const QString kInsert =
    QStringLiteral("Insert Into Salary (WorkerName, ProductCount, ProcessPrice, ProcessDate) Values (?, ?, ?, ?)");

// Grid columns of the fixture, by position.
enum { ColId, ColName, ColCount, ColPrice, ColDate };

} // namespace

class TestDataGrid : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void titleClicksCycleOneMark();
    void reloadShowsStatementOrderAndKeepsMark();
    void stripesFollowRecordNumberAfterSort();
    void selectedCellKeepsSelectionColours();
    void footerSumsFollowReload();
    void footerMasks_data();
    void footerMasks();
    void hiddenFooterGivesTheRowsBack();
    void reloadKeepsColumnLayout();
    void titleClickOnMissingFieldChangesNothing();
    void titleClickOnClosedDataSet();
    void mousePressReportsEveryButton_data();
    void mousePressReportsEveryButton();
    void pressOnTitleRowReadsCurrentRecord();
    void currentRowFollowsDataSetBothWays();
    void displayMasks();
    void editingACellKeepsTheGridIntact();
    void modelPassesModelTester();
    void releasedDataModuleLeavesAnEmptyGrid();
    void maximizedChildReturnsToNormalSize();

private:
    QList<qlonglong> shownIds() const;
    void clickTitle(int column);
    QColor pixelOfCell(int row, int column);

    std::unique_ptr<testsupport::TestProgramDir> m_dir;
    std::unique_ptr<testsupport::BoxAnswerer> m_boxes;
    std::unique_ptr<TDM> m_dm;
    std::unique_ptr<DataGrid> m_grid;
};

void TestDataGrid::init()
{
    m_dir = std::make_unique<testsupport::TestProgramDir>();
    m_dir->prepareDatabase();
    m_boxes = std::make_unique<testsupport::BoxAnswerer>();
    const QString db = m_dir->dbPath();
    testsupport::execSql(db, kInsert, {QStringLiteral("张三"), 5, 1.5, QStringLiteral("2024-03-02")});
    testsupport::execSql(db, kInsert, {QStringLiteral("李四"), 12, 0.25, QStringLiteral("2024-03-01")});
    testsupport::execSql(db, kInsert, {QStringLiteral("王五"), 7, 2.125, QStringLiteral("2024-02-28")});
    testsupport::execSql(db, kInsert, {QStringLiteral("赵六"), 3, QVariant(), QStringLiteral("2024-03-15")});
    m_dm = std::make_unique<TDM>();
    QVERIFY(OpenQuery(m_dm->SalaryQuery, kList));

    m_grid = std::make_unique<DataGrid>();
    m_grid->setDataSource(m_dm->SalarySource);
    m_grid->setColumns({
        GridColumn{.fieldName = QStringLiteral("id"),
                   .title = QStringLiteral("编号"),
                   .width = 50,
                   .displayMask = QStringLiteral("0")},
        GridColumn{.fieldName = QStringLiteral("WorkerName"), .title = QStringLiteral("员工"), .width = 90},
        GridColumn{.fieldName = QStringLiteral("ProductCount"),
                   .title = QStringLiteral("数量"),
                   .width = 60,
                   .displayMask = QStringLiteral("0"),
                   .alignment = Qt::AlignRight | Qt::AlignVCenter,
                   .footerSum = true},
        GridColumn{.fieldName = QStringLiteral("ProcessPrice"),
                   .title = QStringLiteral("单价"),
                   .width = 110,
                   .displayMask = toolkit::kYuanMask,
                   .alignment = Qt::AlignRight | Qt::AlignVCenter,
                   .footerSum = true},
        GridColumn{.fieldName = QStringLiteral("ProcessDate"),
                   .title = QStringLiteral("日期"),
                   .width = 100,
                   .displayMask = QStringLiteral("yyyy-MM-dd")},
    });
    m_grid->resize(520, 260);
    m_grid->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_grid.get()));
}

void TestDataGrid::cleanup()
{
    m_grid.reset();
    m_dm.reset();
    QCOMPARE(m_boxes->unexpected(), 0);
    m_boxes.reset();
    m_dir.reset();
}

QList<qlonglong> TestDataGrid::shownIds() const
{
    QList<qlonglong> ids;
    const QAbstractItemModel* model = m_grid->model();
    for (int r = 0; r < model->rowCount(); ++r)
        ids << model->index(r, ColId).data(Qt::DisplayRole).toLongLong();
    return ids;
}

// A real left click on the column's title.
void TestDataGrid::clickTitle(int column)
{
    QHeaderView* header = m_grid->horizontalHeader();
    const QPoint pos(header->sectionViewportPosition(column) + header->sectionSize(column) / 2, header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, pos);
}

namespace {
bool nearlySame(const QColor& a, const QColor& b)
{
    return qAbs(a.red() - b.red()) <= 4 && qAbs(a.green() - b.green()) <= 4 && qAbs(a.blue() - b.blue()) <= 4;
}
} // namespace

QColor TestDataGrid::pixelOfCell(int row, int column)
{
    const QRect cell = m_grid->visualRect(m_grid->model()->index(row, column));
    const QImage image = m_grid->viewport()->grab().toImage();
    // Near the right edge of a left-aligned short text: background, not glyphs.
    return image.pixelColor(cell.right() - 4, cell.center().y());
}

void TestDataGrid::titleClicksCycleOneMark()
{
    QSignalSpy clicked(m_grid.get(), &DataGrid::titleClicked);

    clickTitle(ColCount); // A: descending
    QCOMPARE(m_grid->sortMark(ColCount), SortMark::Down);
    QCOMPARE(shownIds(), (QList<qlonglong>{2, 3, 1, 4}));
    QCOMPARE(clicked.takeFirst().at(1).toString(), QStringLiteral("ProductCount DESC"));
    QCOMPARE(m_grid->horizontalHeader()->sortIndicatorSection(), int(ColCount));
    // Qt draws its ascending indicator as the downward arrow.
    QCOMPARE(m_grid->horizontalHeader()->sortIndicatorOrder(), Qt::AscendingOrder);

    clickTitle(ColPrice); // B: descending, A loses its mark; the empty price comes last
    QCOMPARE(m_grid->sortMark(ColPrice), SortMark::Down);
    QCOMPARE(m_grid->sortMark(ColCount), SortMark::None);
    QCOMPARE(shownIds(), (QList<qlonglong>{3, 1, 2, 4}));

    clickTitle(ColCount); // A again: descending, not ascending
    QCOMPARE(m_grid->sortMark(ColCount), SortMark::Down);
    QCOMPARE(m_grid->sortMark(ColPrice), SortMark::None);
    QCOMPARE(shownIds(), (QList<qlonglong>{2, 3, 1, 4}));

    clickTitle(ColCount); // then ascending
    QCOMPARE(m_grid->sortMark(ColCount), SortMark::Up);
    QCOMPARE(shownIds(), (QList<qlonglong>{4, 1, 3, 2}));
    QCOMPARE(m_grid->horizontalHeader()->sortIndicatorOrder(), Qt::DescendingOrder);
    QCOMPARE(clicked.last().at(1).toString(), QStringLiteral("ProductCount ASC"));

    clickTitle(ColName); // names sort by pinyin, descending: zhao, zhang, wang, li
    QCOMPARE(shownIds(), (QList<qlonglong>{4, 1, 3, 2}));
}

void TestDataGrid::reloadShowsStatementOrderAndKeepsMark()
{
    clickTitle(ColCount);
    QCOMPARE(shownIds(), (QList<qlonglong>{2, 3, 1, 4}));

    testsupport::execSql(m_dir->dbPath(), kInsert, {QStringLiteral("钱七"), 20, 1.0, QStringLiteral("2024-03-20")});
    QVERIFY(OpenQuery(m_dm->SalaryQuery, kList));
    QCOMPARE(shownIds(), (QList<qlonglong>{1, 2, 3, 4, 5}));
    QCOMPARE(m_grid->sortMark(ColCount), SortMark::Down);
    QCOMPARE(m_grid->horizontalHeader()->sortIndicatorSection(), int(ColCount));

    clickTitle(ColCount); // the mark flips and the rows follow it
    QCOMPARE(m_grid->sortMark(ColCount), SortMark::Up);
    QCOMPARE(shownIds(), (QList<qlonglong>{4, 1, 3, 2, 5}));
}

void TestDataGrid::stripesFollowRecordNumberAfterSort()
{
    const auto background = [this](int row, int column) {
        return m_grid->model()->index(row, column).data(Qt::BackgroundRole).value<QColor>();
    };
    clickTitle(ColCount);
    for (int column : {ColId, ColPrice}) {
        QCOMPARE(background(0, column), QColor(255, 255, 255));
        QCOMPARE(background(1, column), QColor(234, 234, 234));
        QCOMPARE(background(2, column), QColor(255, 255, 255));
        QCOMPARE(background(3, column), QColor(234, 234, 234));
    }

    // As painted: record 2 of the sorted list is grey on screen, record 1 white.
    m_grid->clearSelection();
    m_grid->setCurrentIndex(QModelIndex());
    QCOMPARE(pixelOfCell(1, ColName), QColor(234, 234, 234));
    QCOMPARE(pixelOfCell(0, ColName), QColor(255, 255, 255));
}

void TestDataGrid::selectedCellKeepsSelectionColours()
{
    for (bool wholeRow : {false, true}) {
        m_grid->setRowSelect(wholeRow);
        m_grid->activateWindow();
        m_grid->setFocus();
        clickTitle(ColCount);
        const QModelIndex index = m_grid->model()->index(1, ColName);
        m_grid->setCurrentIndex(index);
        QVERIFY(m_grid->selectionModel()->isSelected(index));
        const QColor highlight = m_grid->palette().color(
            m_grid->isActiveWindow() ? QPalette::Active : QPalette::Inactive, QPalette::Highlight);
        QVERIFY2(nearlySame(pixelOfCell(1, ColName), highlight), qPrintable(pixelOfCell(1, ColName).name()));
        // The neighbour stays striped unless the whole row is selected.
        QVERIFY(nearlySame(pixelOfCell(1, ColDate), wholeRow ? highlight : QColor(234, 234, 234)));
    }
}

void TestDataGrid::footerSumsFollowReload()
{
    m_grid->setFooterVisible(true);
    QCOMPARE(m_grid->footerText(ColCount), QStringLiteral("27"));
    QCOMPARE(m_grid->footerText(ColPrice), QStringLiteral("￥3.875"));
    QCOMPARE(m_grid->footerText(ColName), QString());

    testsupport::execSql(m_dir->dbPath(), kInsert,
                         {QStringLiteral("钱七"), 1000, 1234.5, QStringLiteral("2024-03-20")});
    QVERIFY(OpenQuery(m_dm->SalaryQuery, kList));
    QCOMPARE(m_grid->footerText(ColCount), QStringLiteral("1027"));
    QCOMPARE(m_grid->footerText(ColPrice), QStringLiteral("￥1,238.375"));

    // A narrower result: only the remaining rows count.
    QVERIFY(OpenQuery(m_dm->SalaryQuery,
                      kList.left(kList.indexOf(QStringLiteral("Order"))) +
                          QStringLiteral("Where ProductCount > ? Order by id"),
                      {6}));
    QCOMPARE(m_grid->footerText(ColCount), QStringLiteral("1019"));
    m_dm->SalaryQuery->close();
    QCOMPARE(m_grid->footerText(ColCount), QStringLiteral("0"));

    // The footer row sits under the rows, inside the grid.
    auto* footer = m_grid->findChild<QWidget*>(QStringLiteral("footer"));
    QVERIFY(footer && footer->isVisible());
    QVERIFY(footer->geometry().top() >= m_grid->viewport()->geometry().bottom());
    QVERIFY(m_grid->rect().contains(footer->geometry()));
}

void TestDataGrid::footerMasks_data()
{
    QTest::addColumn<QString>("countFooterMask");
    QTest::addColumn<QString>("priceMask");
    QTest::addColumn<QString>("countSum");
    QTest::addColumn<QString>("priceSum");
    QTest::newRow("cents and up to three decimals") << "#,##0.00"
                                                    << "0.###"
                                                    << "27.00"
                                                    << "3.875";
    QTest::newRow("whole numbers, half rounds up") << "0"
                                                   << "0"
                                                   << "27"
                                                   << "4";
    QTest::newRow("no mask: the decimals the sum has") << ""
                                                       << ""
                                                       << "27"
                                                       << "3.875";
}

void TestDataGrid::footerMasks()
{
    QFETCH(QString, countFooterMask);
    QFETCH(QString, priceMask);
    QFETCH(QString, countSum);
    QFETCH(QString, priceSum);
    m_grid->setColumns({
        GridColumn{.fieldName = QStringLiteral("WorkerName"), .title = QStringLiteral("员工"), .width = 90},
        GridColumn{.fieldName = QStringLiteral("ProductCount"),
                   .title = QStringLiteral("数量"),
                   .width = 60,
                   .displayMask = QStringLiteral("0"),
                   .footerSum = true,
                   .footerMask = countFooterMask},
        GridColumn{.fieldName = QStringLiteral("ProcessPrice"),
                   .title = QStringLiteral("单价"),
                   .width = 110,
                   .displayMask = priceMask,
                   .footerSum = true},
    });
    m_grid->setFooterVisible(true);
    QCOMPARE(m_grid->footerText(1), countSum);
    QCOMPARE(m_grid->footerText(2), priceSum);
    QCOMPARE(m_grid->footerText(0), QString());
}

void TestDataGrid::hiddenFooterGivesTheRowsBack()
{
    auto* footer = m_grid->findChild<QWidget*>(QStringLiteral("footer"));
    QVERIFY(footer);
    QVERIFY(!footer->isVisible());
    const QRect withoutFooter = m_grid->viewport()->geometry();
    m_grid->setFooterVisible(true);
    QVERIFY(footer->isVisible());
    QCOMPARE(m_grid->viewport()->geometry().bottom(), withoutFooter.bottom() - footer->height());
    m_grid->setFooterVisible(false);
    QVERIFY(!footer->isVisible());
    QCOMPARE(m_grid->viewport()->geometry(), withoutFooter);
    m_grid->resize(m_grid->width(), m_grid->height() + 40); // a later layout keeps it hidden
    QVERIFY(!footer->isVisible());
    QCOMPARE(m_grid->viewport()->geometry().bottom(), withoutFooter.bottom() + 40);
}

void TestDataGrid::reloadKeepsColumnLayout()
{
    m_grid->setColumns({
        GridColumn{.fieldName = QStringLiteral("id"),
                   .title = QStringLiteral("编号"),
                   .width = 50,
                   .displayMask = QStringLiteral("0")},
        GridColumn{.fieldName = QStringLiteral("WorkerName"), .title = QStringLiteral("员工"), .width = 90},
        GridColumn{.fieldName = QStringLiteral("ProductCount"), .title = QStringLiteral("数量"), .width = 60},
        GridColumn{.fieldName = QStringLiteral("ProcessPrice"),
                   .title = QStringLiteral("单价"),
                   .width = 110,
                   .visible = false},
        GridColumn{.fieldName = QStringLiteral("ProcessDate"), .title = QStringLiteral("日期"), .width = 100},
    });
    m_grid->horizontalHeader()->resizeSection(ColName, 140); // the user widens a column
    QVERIFY(OpenQuery(m_dm->SalaryQuery, kList));
    QCOMPARE(m_grid->columnWidth(ColId), 50);
    QCOMPARE(m_grid->columnWidth(ColName), 140);
    QVERIFY(m_grid->isColumnHidden(ColPrice));
    m_dm->SalaryQuery->close();
    QVERIFY(m_grid->isColumnHidden(ColPrice));
    QCOMPARE(m_grid->columnWidth(ColDate), 100);
}

void TestDataGrid::titleClickOnMissingFieldChangesNothing()
{
    clickTitle(ColCount);
    // Another window loads a result set with other columns into the shared dataset.
    QVERIFY(OpenQuery(m_dm->SalaryQuery, QStringLiteral("Select id, WorkerName From Salary Order by id")));
    m_dm->SalaryQuery->setRecNo(3);
    QSignalSpy rows(m_dm->SalaryQuery, &data::DataSet::rowsChanged);

    clickTitle(ColPrice);
    QCOMPARE(rows.count(), 0);
    QCOMPARE(m_dm->SalaryQuery->sort(), QString());
    QCOMPARE(m_dm->SalaryQuery->recNo(), 3);
    QCOMPARE(shownIds(), (QList<qlonglong>{1, 2, 3, 4}));
    QCOMPARE(m_grid->model()->index(0, ColPrice).data().toString(), QString());
    QVERIFY(m_boxes->take().isEmpty());
    // No sort took place, so no column claims one.
    QCOMPARE(m_grid->sortMark(ColPrice), SortMark::None);
    QCOMPARE(m_grid->sortMark(ColCount), SortMark::Down);

    clickTitle(ColName); // a present field still sorts
    QCOMPARE(shownIds(), (QList<qlonglong>{4, 1, 3, 2}));
}

void TestDataGrid::titleClickOnClosedDataSet()
{
    m_dm->SalaryQuery->close();
    QCOMPARE(m_grid->model()->rowCount(), 0);
    QSignalSpy clicked(m_grid.get(), &DataGrid::titleClicked);
    clickTitle(ColCount);
    QCOMPARE(m_grid->sortMark(ColCount), SortMark::Down);
    const auto boxes = m_boxes->take();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes.first().icon, toolkit::MsgIcon::Stop);
    QCOMPARE(clicked.count(), 1);
    QCOMPARE(clicked.first().at(1).toString(), QString());
    // Reopened, the grid works as before.
    QVERIFY(OpenQuery(m_dm->SalaryQuery, kList));
    clickTitle(ColCount);
    QCOMPARE(shownIds(), (QList<qlonglong>{4, 1, 3, 2}));
}

void TestDataGrid::mousePressReportsEveryButton_data()
{
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::newRow("left") << Qt::LeftButton;
    QTest::newRow("right") << Qt::RightButton;
    QTest::newRow("middle") << Qt::MiddleButton;
}

void TestDataGrid::mousePressReportsEveryButton()
{
    QFETCH(Qt::MouseButton, button);
    m_grid->setRowSelect(true);
    int recNoAtSignal = -1;
    QString nameAtSignal;
    QList<QVariantList> presses;
    connect(m_grid.get(), &DataGrid::mousePressed, this,
            [&](Qt::MouseButton b, Qt::KeyboardModifiers modifiers, const QPoint&) {
                presses << QVariantList{int(b), int(modifiers)};
                recNoAtSignal = m_dm->SalaryQuery->recNo();
                nameAtSignal = m_grid->columnText(ColName);
            });
    const QRect cell = m_grid->visualRect(m_grid->model()->index(2, ColName));
    QTest::mousePress(m_grid->viewport(), button, Qt::ShiftModifier, cell.center());
    QTest::mouseRelease(m_grid->viewport(), button, Qt::ShiftModifier, cell.center());
    QCOMPARE(presses.size(), 1);
    QCOMPARE(presses.first().at(0).toInt(), int(button));
    QCOMPARE(presses.first().at(1).toInt(), int(Qt::ShiftModifier));
    if (button == Qt::LeftButton) { // the press made its row current before the signal
        QCOMPARE(recNoAtSignal, 3);
        QCOMPARE(nameAtSignal, QStringLiteral("王五"));
    } else {
        QCOMPARE(nameAtSignal, m_grid->columnText(ColName));
    }
}

void TestDataGrid::pressOnTitleRowReadsCurrentRecord()
{
    m_dm->SalaryQuery->setRecNo(2);
    QList<int> seen;
    connect(m_grid.get(), &DataGrid::mousePressed, this,
            [&](Qt::MouseButton, Qt::KeyboardModifiers, const QPoint& pos) {
                seen << m_dm->SalaryQuery->recNo();
                QVERIFY(pos.y() < 0); // above the rows
            });
    QHeaderView* header = m_grid->horizontalHeader();
    QTest::mousePress(header->viewport(), Qt::RightButton, Qt::NoModifier, QPoint(20, header->height() / 2));
    QTest::mouseRelease(header->viewport(), Qt::RightButton, Qt::NoModifier, QPoint(20, header->height() / 2));
    QCOMPARE(seen, QList<int>{2});
    QCOMPARE(m_grid->sortMark(ColId), SortMark::None); // a right press is no title click
}

void TestDataGrid::currentRowFollowsDataSetBothWays()
{
    m_dm->SalaryQuery->setRecNo(3);
    QCOMPARE(m_grid->currentIndex().row(), 2);
    m_grid->setCurrentIndex(m_grid->model()->index(1, ColDate));
    QCOMPARE(m_dm->SalaryQuery->recNo(), 2);
    QCOMPARE(m_grid->selectedFieldText(), QStringLiteral("2024-03-01"));
    QCOMPARE(m_grid->columnText(ColName), QStringLiteral("李四"));
    // After a sort the same record stays current, at its new place.
    clickTitle(ColCount);
    QCOMPARE(m_grid->columnText(ColName), QStringLiteral("李四"));
    QCOMPARE(m_grid->currentIndex().row(), 0);

    // The indicator column marks the current record only, and shows no row numbers.
    const auto marked = [this] {
        QList<int> rows;
        for (int r = 0; r < m_grid->model()->rowCount(); ++r) {
            if (!m_grid->model()->headerData(r, Qt::Vertical, Qt::DisplayRole).toString().isEmpty())
                rows << -1; // a row number
            if (!m_grid->model()->headerData(r, Qt::Vertical, Qt::DecorationRole).isNull())
                rows << r;
        }
        return rows;
    };
    QCOMPARE(marked(), QList<int>{0});
    QSignalSpy headerChanged(m_grid->model(), &QAbstractItemModel::headerDataChanged);
    m_dm->SalaryQuery->setRecNo(4);
    QCOMPARE(marked(), QList<int>{3});
    QVERIFY(headerChanged.count() >= 1);
}

void TestDataGrid::displayMasks()
{
    const QAbstractItemModel* model = m_grid->model();
    QCOMPARE(model->index(2, ColId).data().toString(), QStringLiteral("3"));
    QCOMPARE(model->index(2, ColPrice).data().toString(), QStringLiteral("￥2.125"));
    QCOMPARE(model->index(1, ColPrice).data().toString(), QStringLiteral("￥0.250"));
    QCOMPARE(model->index(3, ColPrice).data().toString(), QString()); // empty stays empty
    QCOMPARE(model->index(0, ColDate).data().toString(), QStringLiteral("2024-03-02"));
    QCOMPARE(model->index(0, ColCount).data(Qt::TextAlignmentRole).toInt(), int(Qt::AlignRight | Qt::AlignVCenter));
    QCOMPARE(model->headerData(ColPrice, Qt::Horizontal).toString(), QStringLiteral("单价"));
}

void TestDataGrid::editingACellKeepsTheGridIntact()
{
    QAbstractItemModelTester tester(m_grid->model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    m_grid->setEditable(true);
    const QModelIndex index = m_grid->model()->index(1, ColName);
    m_grid->setCurrentIndex(index);
    m_grid->edit(index);
    auto* editor = m_grid->viewport()->findChild<QLineEdit*>();
    QVERIFY(editor);
    editor->setText(QStringLiteral("孙八"));
    QTest::keyClick(editor, Qt::Key_Return);
    QCoreApplication::processEvents();
    QCOMPARE(m_dm->SalaryQuery->value(1, m_dm->SalaryQuery->findField(QStringLiteral("WorkerName"))).toString(),
             QStringLiteral("孙八"));
    QCOMPARE(m_grid->currentIndex().row(), 1);
    QCOMPARE(m_grid->currentIndex().column(), int(ColName));
    QCOMPARE(m_dm->SalaryQuery->recNo(), 2);

    // An edited amount is in the footer sum at once.
    m_grid->setFooterVisible(true);
    QCOMPARE(m_grid->footerText(ColCount), QStringLiteral("27"));
    const QModelIndex count = m_grid->model()->index(0, ColCount);
    const int before = count.data(Qt::EditRole).toInt();
    QVERIFY(m_grid->model()->setData(count, before + 100));
    QCOMPARE(m_grid->footerText(ColCount), QStringLiteral("127"));
}

void TestDataGrid::modelPassesModelTester()
{
    QAbstractItemModelTester tester(m_grid->model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    clickTitle(ColCount);
    clickTitle(ColName);
    QVERIFY(OpenQuery(m_dm->SalaryQuery, kList));
    m_dm->SalaryQuery->close();
    QVERIFY(OpenQuery(m_dm->SalaryQuery, QStringLiteral("Select id From Salary")));
    m_dm->SalaryQuery->setValue(0, 0, 99);
    for (int r = 0; r < m_grid->model()->rowCount(); ++r)
        for (int c = 0; c < m_grid->model()->columnCount(); ++c)
            m_grid->model()->index(r, c).data(Qt::BackgroundRole);
}

namespace {

// A fixed-layout child window that follows the resize rule.
class FixedChild : public QWidget {
protected:
    void resizeEvent(QResizeEvent* event) override
    {
        QWidget::resizeEvent(event);
        toolkit::restoreIfMaximized(this);
    }
};

} // namespace

void TestDataGrid::releasedDataModuleLeavesAnEmptyGrid()
{
    m_dm->SalaryQuery->setRecNo(2);
    m_grid->setFooterVisible(true);
    m_dm.reset(); // the closing steps release the data module while windows still show its lists
    QCOMPARE(m_grid->model()->rowCount(), 0);
    QCOMPARE(m_grid->dataSet(), nullptr);
    QCOMPARE(m_grid->footerText(ColCount), QStringLiteral("0"));
    QCOMPARE(m_grid->titleClick(ColCount), QString());
    QCOMPARE(m_grid->columnText(ColName), QString());
    m_grid->viewport()->grab(); // paints without touching the released rows
    m_grid->grab();
}

void TestDataGrid::maximizedChildReturnsToNormalSize()
{
    QMdiArea area;
    area.resize(900, 700);
    auto* child = new FixedChild;
    child->resize(300, 200);
    QMdiSubWindow* frame = area.addSubWindow(child);
    area.show();
    QVERIFY(QTest::qWaitForWindowExposed(&area));
    frame->setGeometry(40, 30, 300 + 8, 200 + 28);
    frame->layout()->activate();
    frame->resize(frame->size() + QSize(300, 200) - child->size());
    QCOMPARE(toolkit::childFrame(child), frame);
    const QRect normal = frame->geometry();

    frame->showMaximized();
    QCoreApplication::processEvents();
    QVERIFY(!frame->isMaximized());
    QCOMPARE(frame->geometry(), normal);
    QCOMPARE(child->size(), QSize(300, 200));

    // A child without a frame restores itself too.
    FixedChild alone;
    alone.resize(200, 100);
    alone.showMaximized();
    QCoreApplication::processEvents();
    QVERIFY(!alone.isMaximized());
}

QTEST_MAIN(TestDataGrid)
#include "tst_datagrid.moc"
