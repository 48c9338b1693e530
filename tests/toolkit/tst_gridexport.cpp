#include "data/DataModule.h"
#include "data/Sql.h"
#include "piecework/Produce.h"
#include "testsupport/BoxAnswerer.h"
#include "testsupport/Csv.h"
#include "testsupport/FileSizeLimit.h"
#include "testsupport/TestProgramDir.h"
#include "toolkit/DataGrid.h"
#include "toolkit/DisplayMask.h"
#include "toolkit/GridExport.h"

#include <QDir>
#include <QHeaderView>
#include <QMenu>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <QXmlStreamReader>

#include <cmath>

#include <memory>

using toolkit::DataGrid;
using toolkit::ExportFormat;
using toolkit::ExportResult;
using toolkit::GridColumn;

Q_DECLARE_METATYPE(toolkit::ExportFormat)

namespace {

const QString kList =
    QStringLiteral("Select id, WorkerName, ProductCount, ProcessPrice, ProcessDate From Salary Order by id");
const QString kInsert =
    QStringLiteral("Insert Into Salary (WorkerName, ProductCount, ProcessPrice, ProcessDate) Values (?, ?, ?, ?)");

QList<QStringList> readCsv(const QString& path)
{
    const QByteArray bytes = testsupport::readFile(path);
    if (!bytes.startsWith("\xEF\xBB\xBF"))
        return {{QStringLiteral("no byte-order mark")}};
    return testsupport::parseCsv(QString::fromUtf8(bytes.mid(3)));
}

QByteArray unzipEntry(const QString& path, const QString& entry)
{
    QProcess unzip;
    unzip.start(QStringLiteral("unzip"), {QStringLiteral("-p"), path, entry});
    if (!unzip.waitForFinished(30000) || unzip.exitCode() != 0)
        return {};
    return unzip.readAllStandardOutput();
}

// A sheet's cells row by row: "s:" text, "n:" number, "d:" date serial number; the style index of
// each cell beside it.
struct Sheet {
    QList<QStringList> rows;
    QList<QList<int>> styles;
};

Sheet readSheet(const QString& path, int number = 1)
{
    Sheet sheet;
    QXmlStreamReader xml(unzipEntry(path, QStringLiteral("xl/worksheets/sheet%1.xml").arg(number)));
    QString type;
    int column = 0;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement())
            continue;
        if (xml.name() == QLatin1String("row")) {
            sheet.rows << QStringList();
            sheet.styles << QList<int>();
        } else if (xml.name() == QLatin1String("c")) {
            const QString ref = xml.attributes().value(QLatin1String("r")).toString();
            column = ref.at(0).unicode() - 'A';
            type = xml.attributes().value(QLatin1String("t")).toString();
            while (sheet.rows.last().size() <= column) {
                sheet.rows.last() << QString();
                sheet.styles.last() << 0;
            }
            sheet.styles.last()[column] = xml.attributes().value(QLatin1String("s")).toInt();
        } else if (xml.name() == QLatin1String("v")) {
            sheet.rows.last()[column] =
                (type.isEmpty() || type == QLatin1String("n") ? QStringLiteral("n:") : type + QLatin1Char(':')) +
                xml.readElementText();
        } else if (xml.name() == QLatin1String("t")) {
            // Characters XML cannot carry as they are come as _xHHHH_.
            QString text = xml.readElementText();
            static const QRegularExpression escaped(QStringLiteral("_x([0-9A-F]{4})_"));
            for (auto m = escaped.match(text); m.hasMatch(); m = escaped.match(text, m.capturedStart()))
                text.replace(m.capturedStart(), m.capturedLength(), QChar(m.captured(1).toUShort(nullptr, 16)));
            sheet.rows.last()[column] = QStringLiteral("s:") + text;
        }
    }
    return sheet;
}

QString serial(const QString& isoDate)
{
    return QStringLiteral("n:%1").arg(QDate(1899, 12, 30).daysTo(QDate::fromString(isoDate, Qt::ISODate)));
}

// The files a folder holds, hidden ones too.
QStringList filesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
}

// The files this process holds open.
qsizetype openFileCount()
{
    return QDir(QStringLiteral("/proc/self/fd"))
        .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)
        .size();
}

using testsupport::FileSizeLimit;

} // namespace

class TestGridExport : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void csvHoldsWhatTheGridShows();
    void xlsxHoldsTypedCells();
    void exportFollowsTitleSort_data();
    void exportFollowsTitleSort();
    void numbersMatchTheDisplayRounding_data();
    void numbersMatchTheDisplayRounding();
    void textsThatLookLikeFormulasStayText();
    void unfinishedExportLeavesFormerFile_data();
    void unfinishedExportLeavesFormerFile();
    void productWindowExportsThroughContextMenu();

private:
    QString out(const QString& name) const { return m_out->filePath(name); }
    void addRows(int count) const;

    std::unique_ptr<testsupport::TestProgramDir> m_dir;
    std::unique_ptr<QTemporaryDir> m_out;
    std::unique_ptr<testsupport::BoxAnswerer> m_boxes;
    std::unique_ptr<TDM> m_dm;
    std::unique_ptr<DataGrid> m_grid;
};

void TestGridExport::init()
{
    m_dir = std::make_unique<testsupport::TestProgramDir>();
    m_dir->prepareDatabase();
    m_out = std::make_unique<QTemporaryDir>();
    m_boxes = std::make_unique<testsupport::BoxAnswerer>();
    const QString db = m_dir->dbPath();
    testsupport::execSql(db, kInsert, {QStringLiteral("张三"), 5, 1.5, QStringLiteral("2024-03-02")});
    testsupport::execSql(db, kInsert, {QStringLiteral("say \"hi\", ok"), 12, 1.0005, QStringLiteral("2024-03-01")});
    testsupport::execSql(db, kInsert, {QStringLiteral("两行\r\n第二行"), 7, 1234567.25, QStringLiteral("2024-02-28")});
    testsupport::execSql(db, kInsert, {QStringLiteral("赵六"), 3, QVariant(), QStringLiteral("2024-03-15")});
    m_dm = std::make_unique<TDM>();
    QVERIFY(OpenQuery(m_dm->SalaryQuery, kList));

    m_grid = std::make_unique<DataGrid>();
    m_grid->setWindowTitle(QStringLiteral("计件"));
    m_grid->setDataSource(m_dm->SalarySource);
    const auto right = Qt::AlignRight | Qt::AlignVCenter;
    m_grid->setColumns({
        GridColumn{.fieldName = QStringLiteral("id"), .title = QStringLiteral("编号"), .visible = false},
        GridColumn{.fieldName = QStringLiteral("WorkerName"), .title = QStringLiteral("员工, 姓名"), .width = 90},
        GridColumn{.fieldName = QStringLiteral("ProductCount"),
                   .title = QStringLiteral("数量"),
                   .displayMask = QStringLiteral("0"),
                   .alignment = right},
        GridColumn{.fieldName = QStringLiteral("ProcessPrice"),
                   .title = QStringLiteral("单价"),
                   .width = 110,
                   .displayMask = toolkit::kYuanMask,
                   .alignment = right},
        GridColumn{.fieldName = QStringLiteral("ProcessDate"),
                   .title = QStringLiteral("日期"),
                   .displayMask = QStringLiteral("yyyy-MM-dd")},
    });
    // Shown with the date moved to the front: the export keeps the order on the screen.
    m_grid->horizontalHeader()->moveSection(4, 1);
    m_grid->resize(520, 260);
    m_grid->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_grid.get()));
}

void TestGridExport::cleanup()
{
    toolkit::setExportFileChooser({});
    m_grid.reset();
    m_dm.reset();
    QCOMPARE(m_boxes->unexpected(), 0);
    m_boxes.reset();
    m_out.reset();
    m_dir.reset();
}

void TestGridExport::addRows(int count) const
{
    testsupport::execSql(m_dir->dbPath(),
                         QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < ?) "
                                        "INSERT INTO Salary (WorkerName, ProductCount, ProcessPrice, ProcessDate) "
                                        "SELECT 'worker ' || i, i, i * 0.125, '2024-01-01' FROM n"),
                         {count});
    QVERIFY(OpenQuery(m_dm->SalaryQuery, kList));
}

void TestGridExport::csvHoldsWhatTheGridShows()
{
    const ExportResult result = toolkit::exportGrid(*m_grid, out(QStringLiteral("a.csv")), ExportFormat::Csv);
    QCOMPARE(result.status, ExportResult::Written);
    QCOMPARE(result.rows, 4);
    const QByteArray bytes = testsupport::readFile(out(QStringLiteral("a.csv")));
    QVERIFY(bytes.startsWith("\xEF\xBB\xBF\xE6\x97\xA5\xE6\x9C\x9F,\"")); // BOM, then "日期" and a quoted title
    QVERIFY(bytes.endsWith("\r\n"));
    const QList<QStringList> expected = {
        {"日期", "员工, 姓名", "数量", "单价"},
        {"2024-03-02", "张三", "5", "1.500"},
        {"2024-03-01", "say \"hi\", ok", "12", "1.001"},
        {"2024-02-28", "两行\r\n第二行", "7", "1234567.250"},
        {"2024-03-15", "赵六", "3", ""},
    };
    QCOMPARE(readCsv(out(QStringLiteral("a.csv"))), expected);
}

void TestGridExport::xlsxHoldsTypedCells()
{
    const QString file = out(QStringLiteral("a.xlsx"));
    QCOMPARE(toolkit::exportGrid(*m_grid, file, ExportFormat::Xlsx).status, ExportResult::Written);
    const Sheet sheet = readSheet(file);
    const QList<QStringList> expected = {
        {"s:日期", "s:员工, 姓名", "s:数量", "s:单价"},
        {serial("2024-03-02"), "s:张三", "n:5", "n:1.5"},
        {serial("2024-03-01"), "s:say \"hi\", ok", "n:12", "n:1.001"},
        {serial("2024-02-28"), "s:两行\r\n第二行", "n:7", "n:1234567.25"},
        {serial("2024-03-15"), "s:赵六", "n:3"},
    };
    QCOMPARE(sheet.rows, expected);

    // The header bold, the dates and the amounts with their own number formats.
    const QByteArray styles = unzipEntry(file, QStringLiteral("xl/styles.xml"));
    QVERIFY(styles.contains("<b/>"));
    QVERIFY(styles.contains("formatCode=\"yyyy\\-mm\\-dd\"") || styles.contains("formatCode=\"yyyy-mm-dd\""));
    QVERIFY(styles.contains("formatCode=\"0.000\""));
    const int headerStyle = sheet.styles.at(0).at(0);
    QVERIFY(headerStyle != 0);
    QCOMPARE(sheet.styles.at(0), QList<int>(4, headerStyle));
    const QList<int> firstRow = sheet.styles.at(1);
    QVERIFY(firstRow.at(0) != 0 && firstRow.at(3) != 0 && firstRow.at(0) != firstRow.at(3));
    QCOMPARE(firstRow.at(1), 0);
    QCOMPARE(unzipEntry(file, QStringLiteral("xl/workbook.xml")).contains("name=\"计件\""), true);
}

void TestGridExport::exportFollowsTitleSort_data()
{
    QTest::addColumn<ExportFormat>("format");
    QTest::newRow("csv") << ExportFormat::Csv;
    QTest::newRow("xlsx") << ExportFormat::Xlsx;
}

// After clicks on the count's title (descending, then ascending) the rows come in that order.
void TestGridExport::exportFollowsTitleSort()
{
    QFETCH(ExportFormat, format);
    const QString file = out(format == ExportFormat::Csv ? QStringLiteral("s.csv") : QStringLiteral("s.xlsx"));
    const auto counts = [&] {
        QStringList column;
        const QList<QStringList> rows = format == ExportFormat::Csv ? readCsv(file) : readSheet(file).rows;
        for (const QStringList& row : rows.mid(1))
            column << row.value(2).remove(QStringLiteral("n:"));
        return column;
    };
    QCOMPARE(m_grid->titleClick(2), QStringLiteral("ProductCount DESC"));
    QCOMPARE(toolkit::exportGrid(*m_grid, file, format).status, ExportResult::Written);
    QCOMPARE(counts(), QStringList({"12", "7", "5", "3"}));
    QCOMPARE(m_grid->titleClick(2), QStringLiteral("ProductCount ASC"));
    QCOMPARE(toolkit::exportGrid(*m_grid, file, format).status, ExportResult::Written);
    QCOMPARE(counts(), QStringList({"3", "5", "7", "12"}));
}

void TestGridExport::numbersMatchTheDisplayRounding_data()
{
    QTest::addColumn<double>("price");
    QTest::newRow("27.69 * 2.5 in double") << 27.69 * 2.5;
    QTest::newRow("69.225, double below") << 69.225;
    QTest::newRow("8.325, double below") << 8.325;
    QTest::newRow("1234.565, double above") << 1234.565;
    QTest::newRow("0.0015, double above") << 0.0015;
    QTest::newRow("2.675") << 2.675;
    QTest::newRow("0.0005") << 0.0005;
    QTest::newRow("1.0005") << 1.0005;
    QTest::newRow("-0.0005") << -0.0005;
    QTest::newRow("-2.0005") << -2.0005;
    QTest::newRow("-0.0004 shows no sign") << -0.0004;
    QTest::newRow("1e-7") << 1e-7;
    QTest::newRow("0.1 + 0.2") << 0.1 + 0.2;
    QTest::newRow("99999.9995 carries") << 99999.9995;
    QTest::newRow("1234567.8915") << 1234567.8915;
    QTest::newRow("123456789.0125") << 123456789.0125;
    QTest::newRow("987654321012.3456") << 987654321012.3456;
    QTest::newRow("9999999999.9995 carries") << 9999999999.9995;
    QTest::newRow("1e15 + 0.5") << 1e15 + 0.5;
    QTest::newRow("whole") << 7.0;
    QTest::newRow("-3.14159") << -3.14159;
    QTest::newRow("1e300") << 1e300;
    QTest::newRow("-2.5e-300") << -2.5e-300;
}

// An amount carries the decimals the grid shows, rounded as the grid rounds it: the list's text,
// the CSV field and the XLSX cell's value are the same decimal.
void TestGridExport::numbersMatchTheDisplayRounding()
{
    QFETCH(double, price);
    testsupport::execSql(m_dir->dbPath(), QStringLiteral("DELETE FROM Salary"));
    testsupport::execSql(m_dir->dbPath(), kInsert, {QStringLiteral("x"), 1, price, QStringLiteral("2024-03-01")});
    QVERIFY(OpenQuery(m_dm->SalaryQuery, kList));

    QString shown = m_grid->model()->index(0, 3).data().toString();
    QCOMPARE(shown, toolkit::formatNumber(price, toolkit::kYuanMask));
    shown.remove(QStringLiteral("￥")).remove(QLatin1Char(','));

    QCOMPARE(toolkit::exportGrid(*m_grid, out(QStringLiteral("n.csv")), ExportFormat::Csv).status,
             ExportResult::Written);
    const QList<QStringList> rows = readCsv(out(QStringLiteral("n.csv")));
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows.at(1).at(3), shown);

    // In the workbook the same number, written as its shortest decimal: the shown text without
    // trailing zeros (an exponent for the far ones).
    QCOMPARE(toolkit::exportGrid(*m_grid, out(QStringLiteral("n.xlsx")), ExportFormat::Xlsx).status,
             ExportResult::Written);
    const Sheet sheet = readSheet(out(QStringLiteral("n.xlsx")));
    QCOMPARE(sheet.rows.size(), 2);
    const QString cell = sheet.rows.at(1).at(3);
    QVERIFY2(cell.startsWith(QStringLiteral("n:")), qPrintable(cell));
    if (std::abs(shown.toDouble()) < 1e15) {
        QString expected = shown;
        if (expected.contains(QLatin1Char('.'))) {
            while (expected.endsWith(QLatin1Char('0')))
                expected.chop(1);
            if (expected.endsWith(QLatin1Char('.')))
                expected.chop(1);
        }
        QCOMPARE(cell.mid(2), expected);
    } else {
        QCOMPARE(cell.mid(2).toDouble(), shown.toDouble());
    }
}

// Texts that a spreadsheet would run as formulas come out as text: in CSV behind an apostrophe, in
// XLSX as text cells. Numbers stay numbers, a negative amount too.
void TestGridExport::textsThatLookLikeFormulasStayText()
{
    const QStringList names = {
        QStringLiteral("=HYPERLINK(\"http://x\",\"y\")"),
        QStringLiteral("+86 138"),
        QStringLiteral("-张三"),
        QStringLiteral("@SUM(A1)"),
        QStringLiteral("\t=1+1"),
        QStringLiteral("\r=1+1"),
        QStringLiteral("a=b-c"),
    };
    testsupport::execSql(m_dir->dbPath(), QStringLiteral("DELETE FROM Salary"));
    for (const QString& name : names)
        testsupport::execSql(m_dir->dbPath(), kInsert, {name, -2, -3.5, QStringLiteral("2024-03-01")});
    QVERIFY(OpenQuery(m_dm->SalaryQuery, kList));

    const QString csv = out(QStringLiteral("f.csv"));
    QCOMPARE(toolkit::exportGrid(*m_grid, csv, ExportFormat::Csv).status, ExportResult::Written);
    QList<QStringList> expected = {{"日期", "员工, 姓名", "数量", "单价"}};
    for (const QString& name : names)
        expected << QStringList{"2024-03-01", name.startsWith(QLatin1Char('a')) ? name : QLatin1Char('\'') + name, "-2",
                                "-3.500"};
    QCOMPARE(readCsv(csv), expected);

    const QString xlsx = out(QStringLiteral("f.xlsx"));
    QCOMPARE(toolkit::exportGrid(*m_grid, xlsx, ExportFormat::Xlsx).status, ExportResult::Written);
    QList<QStringList> cells = {{"s:日期", "s:员工, 姓名", "s:数量", "s:单价"}};
    for (const QString& name : names)
        cells << QStringList{serial("2024-03-01"), QStringLiteral("s:") + name, "n:-2", "n:-3.5"};
    QCOMPARE(readSheet(xlsx).rows, cells);
    QVERIFY(!unzipEntry(xlsx, QStringLiteral("xl/worksheets/sheet1.xml")).contains("<f>"));
}

void TestGridExport::unfinishedExportLeavesFormerFile_data()
{
    QTest::addColumn<ExportFormat>("format");
    QTest::addColumn<QString>("how");
    for (const QString& how : {QStringLiteral("cancelled"), QStringLiteral("disk full"), QStringLiteral("reloaded")}) {
        QTest::addRow("csv %s", qPrintable(how)) << ExportFormat::Csv << how;
        QTest::addRow("xlsx %s", qPrintable(how)) << ExportFormat::Xlsx << how;
    }
}

// A cancel, a write that fails or a reload of the list half way: the former file stays as it was
// and no piece of the new one is left beside it, nor held open.
void TestGridExport::unfinishedExportLeavesFormerFile()
{
    QFETCH(ExportFormat, format);
    QFETCH(QString, how);
    addRows(20000);
    const QString file = out(format == ExportFormat::Csv ? QStringLiteral("u.csv") : QStringLiteral("u.xlsx"));
    QVERIFY(testsupport::writeFile(file, "former"));

    const qsizetype openFiles = openFileCount();
    int calls = 0;
    ExportResult result;
    if (how == QLatin1String("disk full")) {
        const FileSizeLimit limit(16 * 1024);
        result = toolkit::exportGrid(*m_grid, file, format);
    } else {
        result = toolkit::exportGrid(*m_grid, file, format, [&](qint64 written, qint64 count) {
            ++calls;
            if (written < 8192 || written == count)
                return true;
            if (how == QLatin1String("cancelled"))
                return false;
            if (calls == 2)
                m_dm->SalaryQuery->setSort(QStringLiteral("ProductCount ASC"));
            return true;
        });
        QVERIFY(calls >= 2);
    }
    QCOMPARE(result.status, how == QLatin1String("cancelled") ? ExportResult::Cancelled : ExportResult::Failed);
    QCOMPARE(result.error.isEmpty(), how == QLatin1String("cancelled"));
    QCOMPARE(testsupport::readFile(file), QByteArray("former"));
    QCOMPARE(filesIn(m_out->path()), QStringList{QFileInfo(file).fileName()});
    QCOMPARE(openFileCount(), openFiles); // the temporary files are closed, not only unlinked

    // The same export, left alone, writes every row.
    QCOMPARE(toolkit::exportGrid(*m_grid, file, format).status, ExportResult::Written);
    if (format == ExportFormat::Csv)
        QCOMPARE(readCsv(file).size(), 20005);
    else
        QCOMPARE(readSheet(file).rows.size(), 20005);
}

// The product window's list offers "导出..." in its context menu and writes what it shows: the
// hidden key column left out, numbers plain, dates as yyyy-MM-dd. A file that cannot be written
// is reported.
void TestGridExport::productWindowExportsThroughContextMenu()
{
    m_grid.reset();
    const QString db = m_dir->dbPath();
    testsupport::execSql(db, QStringLiteral("INSERT INTO Product (Kind, Process, KindName, ProductCount, ProductDate) "
                                            "VALUES ('K-01', 3, '衬衫, 长袖', 100, '2004-03-01'), "
                                            "('K-02', 12, '西裤', 2500, '2004-04-15')"));
    auto* form = new TProduceForm;
    form->show();
    DataGrid* grid = form->findChild<DataGrid*>(QStringLiteral("ProductGrid"));
    QVERIFY(grid);
    std::unique_ptr<QMenu> menu(grid->createContextMenu(nullptr));
    auto* action = menu->findChild<QAction*>(QStringLiteral("ExportAction"));
    QVERIFY(action);
    QCOMPARE(action->text(), QStringLiteral("导出..."));

    QString chosen = out(QStringLiteral("products.csv"));
    QString suggested;
    toolkit::setExportFileChooser([&](QWidget*, const QString& name) {
        suggested = name;
        return chosen;
    });
    action->trigger();
    QCOMPARE(QFileInfo(suggested).fileName(), QStringLiteral("产品工序.csv"));
    const QList<QStringList> expected = {
        {"款式号", "工序数", "款式名称", "件数", "加工日期"},
        {"K-02", "12", "西裤", "2500", "2004-04-15"},
        {"K-01", "3", "衬衫, 长袖", "100", "2004-03-01"},
    };
    QCOMPARE(readCsv(chosen), expected);

    chosen = out(QStringLiteral("missing/products.xlsx"));
    m_boxes->expect(
        QStringLiteral("a box naming the failed export"),
        [&](const toolkit::MessageRequest& box) {
            return box.text.startsWith(QStringLiteral("导出失败: ")) &&
                   box.text.endsWith(QDir::toNativeSeparators(chosen)) && box.icon == toolkit::MsgIcon::Stop;
        },
        QMessageBox::Ok);
    action->trigger();
    QVERIFY(!QFileInfo::exists(chosen));
    delete form;
}

QTEST_MAIN(TestGridExport)
#include "tst_gridexport.moc"
