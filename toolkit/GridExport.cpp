#include "toolkit/GridExport.h"

#include "data/DataSet.h"
#include "toolkit/DataGrid.h"
#include "toolkit/DisplayMask.h"
#include "toolkit/MessageBox.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QPointer>
#include <QProgressDialog>
#include <QSaveFile>
#include <QStandardPaths>

#include <xlsxwriter.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

namespace toolkit {

namespace {

// ---- Numbers as the display masks round them --------------------------------------------------

// A non-negative decimal as its significant digits and the place of the decimal point: 12.5 is
// "125" with the point after 2 digits, 0.05 is "5" with the point at -1. The same reading of a
// double as the display masks make (its shortest text cut to 15 significant digits), so that an
// exported number is the number the grid shows.
struct Decimal {
    char digits[24];
    int count = 0;
    int point = 0;
    bool negative = false;

    void trimZeros()
    {
        while (count > 0 && digits[count - 1] == '0')
            --count;
        if (count == 0)
            point = 0;
    }

    // Keeps the first n digits, rounding half away from zero on the next one.
    void roundToDigits(int n)
    {
        if (n >= count)
            return;
        const bool up = n >= 0 && digits[n] >= '5';
        count = n < 0 ? 0 : n;
        if (up) {
            int i = count - 1;
            while (i >= 0 && digits[i] == '9')
                digits[i--] = '0';
            if (i >= 0) {
                ++digits[i];
            } else {
                std::memmove(digits + 1, digits, size_t(count));
                digits[0] = '1';
                ++count;
                ++point;
            }
        }
        trimZeros();
    }
};

Decimal decimalOf(double value)
{
    Decimal d;
    d.negative = std::signbit(value);
    char text[48];
    const auto result = std::to_chars(text, text + sizeof text, std::fabs(value), std::chars_format::scientific);
    const char* e = std::find(text, result.ptr, 'e');
    for (const char* c = text; c < e; ++c)
        if (*c != '.' && d.count < int(sizeof d.digits))
            d.digits[d.count++] = *c;
    int exponent = 0;
    std::from_chars(e + 1 + (e[1] == '+' ? 1 : 0), result.ptr, exponent);
    d.point = exponent + 1;
    d.trimZeros();
    d.roundToDigits(std::numeric_limits<double>::digits10);
    return d;
}

Decimal decimalOf(qint64 value)
{
    Decimal d;
    d.negative = value < 0;
    const quint64 magnitude = d.negative ? 0 - quint64(value) : quint64(value);
    const auto result = std::to_chars(d.digits, d.digits + sizeof d.digits, magnitude);
    d.count = int(result.ptr - d.digits);
    d.point = d.count;
    d.trimZeros();
    return d;
}

// Writes the decimal rounded to at most maxDecimals (at least minDecimals shown), with at least
// one integer digit and no grouping; returns the end of the text.
char* writeDecimal(char* out, Decimal d, int minDecimals, int maxDecimals)
{
    if (maxDecimals < 400)
        d.roundToDigits(d.point + maxDecimals);
    if (d.negative && d.count > 0)
        *out++ = '-';
    if (d.point <= 0)
        *out++ = '0';
    for (int i = 0; i < d.point; ++i)
        *out++ = i < d.count ? d.digits[i] : '0';
    int decimals = 0;
    char* dot = out;
    *out++ = '.';
    for (int i = std::min(d.point, 0); i < d.count; ++i)
        if (i >= d.point) {
            *out++ = i < 0 ? '0' : d.digits[i];
            ++decimals;
        }
    for (; decimals < minDecimals; ++decimals)
        *out++ = '0';
    return decimals == 0 ? dot : out;
}

// ---- What each column writes --------------------------------------------------------------------

bool isDateMask(const QString& mask)
{
    return mask.contains(QLatin1String("yy")) || mask.contains(QLatin1String("dd"));
}

struct ExportColumn {
    enum Kind { Plain, Number, Date };
    int field = -1; // in the dataset; -1: the column shows nothing
    QString title;
    QString mask;
    Kind kind = Plain;
    int minDecimals = 0;
    int maxDecimals = 0;
    int width = 80;
    lxw_format* format = nullptr; // of the number cells
};

// The decimals of a number mask such as "￥#,##0.000" or "0.###": the "0" places after the point
// always show, the "#" places when needed.
void readNumberMask(const QString& mask, ExportColumn& column)
{
    const int dot = int(mask.indexOf(QLatin1Char('.')));
    if (dot < 0)
        return;
    for (int i = dot + 1; i < mask.size(); ++i) {
        if (mask.at(i) == QLatin1Char('0'))
            ++column.minDecimals;
        else if (mask.at(i) != QLatin1Char('#'))
            break;
        ++column.maxDecimals;
    }
}

QVector<ExportColumn> exportColumns(const data::DataSet* set, const QVector<GridColumn>& gridColumns)
{
    QVector<ExportColumn> columns;
    for (const GridColumn& gc : gridColumns) {
        ExportColumn column;
        column.field = set && set->isActive() ? set->findField(gc.fieldName) : -1;
        column.title = gc.title;
        column.mask = gc.displayMask;
        column.width = gc.width;
        if (isDateMask(gc.displayMask)) {
            column.kind = ExportColumn::Date;
        } else if (!gc.displayMask.isEmpty()) {
            column.kind = ExportColumn::Number;
            readNumberMask(gc.displayMask, column);
        }
        columns << column;
    }
    return columns;
}

// One value ready for a file: a text (for CSV every value is one), and for XLSX its kind.
struct Cell {
    enum Kind { Empty, Text, Number, Date } kind = Empty;
    const char* text = nullptr;
    qsizetype size = 0;
    double number = 0;
    QDate date;
};

bool readIsoDate(const char* text, qsizetype size, QDate* date)
{
    if (size != 10 || text[4] != '-' || text[7] != '-')
        return false;
    int year = 0, month = 0, day = 0;
    if (std::from_chars(text, text + 4, year).ptr != text + 4 ||
        std::from_chars(text + 5, text + 7, month).ptr != text + 7 ||
        std::from_chars(text + 8, text + 10, day).ptr != text + 10)
        return false;
    *date = QDate(year, month, day);
    return date->isValid();
}

// Turns the dataset's values into cells. Numbers are written into a scratch buffer that lives
// until the next value; texts point into the dataset.
class CellReader {
public:
    explicit CellReader(const data::DataSet* set) : m_set(set) {}

    Cell read(int row, const ExportColumn& column)
    {
        Cell cell;
        if (column.field < 0)
            return cell;
        const data::DataSet::RawValue raw = m_set->rawValue(row, column.field);
        switch (raw.kind) {
        case data::DataSet::RawValue::Null: return cell;
        case data::DataSet::RawValue::Integer:
            if (column.kind == ExportColumn::Date)
                return slow(row, column);
            return number(decimalOf(raw.integer), column.kind == ExportColumn::Number ? column.minDecimals : 0,
                          column.kind == ExportColumn::Number ? column.maxDecimals : 0);
        case data::DataSet::RawValue::Real:
            if (column.kind == ExportColumn::Date)
                return slow(row, column);
            if (!std::isfinite(raw.real))
                return cell;
            return column.kind == ExportColumn::Number
                       ? number(decimalOf(raw.real), column.minDecimals, column.maxDecimals)
                       : number(decimalOf(raw.real), 0, 1000);
        case data::DataSet::RawValue::Text:
            if (column.kind == ExportColumn::Date && column.mask == QLatin1String("yyyy-MM-dd") &&
                readIsoDate(raw.bytes, raw.size, &cell.date)) {
                cell.kind = Cell::Date;
                cell.text = raw.bytes;
                cell.size = raw.size;
                return cell;
            }
            if (column.kind != ExportColumn::Plain)
                return slow(row, column);
            [[fallthrough]];
        case data::DataSet::RawValue::Blob:
            cell.kind = Cell::Text;
            cell.text = raw.bytes;
            cell.size = raw.size;
            return cell;
        }
        return cell;
    }

private:
    Cell number(const Decimal& d, int minDecimals, int maxDecimals)
    {
        Cell cell;
        cell.kind = Cell::Number;
        // Room for the sign, every integer digit (up to 309 of a double), the point and the decimals.
        const qsizetype room = 8 + qsizetype(std::abs(d.point)) + d.count + std::max(minDecimals, 0);
        if (m_number.size() < room)
            m_number.resize(room);
        char* end = writeDecimal(m_number.data(), d, minDecimals, maxDecimals);
        cell.text = m_number.constData();
        cell.size = end - m_number.constData();
        *end = '\0';
        std::from_chars(cell.text, end, cell.number);
        return cell;
    }

    // The rare values the quick ways do not cover (a text in a number or date column, a number in
    // a date column): formatted as the grid formats them.
    Cell slow(int row, const ExportColumn& column)
    {
        const QVariant value = m_set->value(row, column.field);
        if (column.kind == ExportColumn::Number) {
            bool ok = false;
            const double n = value.toDouble(&ok);
            if (ok && std::isfinite(n))
                return number(decimalOf(n), column.minDecimals, column.maxDecimals);
        }
        Cell cell;
        m_text = applyDisplayMask(value, column.mask).toUtf8();
        cell.kind = m_text.isEmpty() ? Cell::Empty : Cell::Text;
        cell.text = m_text.constData();
        cell.size = m_text.size();
        if (column.kind == ExportColumn::Date) {
            QDate date = value.toDate();
            if (!date.isValid())
                date = QDate::fromString(value.toString().left(10), QStringLiteral("yyyy-MM-dd"));
            if (date.isValid()) {
                cell.kind = Cell::Date;
                cell.date = date;
            }
        }
        return cell;
    }

    const data::DataSet* m_set;
    QByteArray m_number;
    QByteArray m_text;
};

// ---- Writers --------------------------------------------------------------------------------------

constexpr int kProgressEvery = 4096;

// Stops the export when the rows change under it (a reload while the progress window lets events
// through) or the dataset goes away.
class RowsWatch {
public:
    explicit RowsWatch(data::DataSet* set) : m_set(set)
    {
        m_connection = QObject::connect(set, &data::DataSet::rowsChanged, [this] { m_changed = true; });
    }
    ~RowsWatch() { QObject::disconnect(m_connection); }
    bool changed() const { return m_changed || !m_set; }

private:
    QPointer<data::DataSet> m_set;
    QMetaObject::Connection m_connection;
    bool m_changed = false;
};

const QString kWriteFailed = QStringLiteral("文件没有写完 (磁盘已满或不能写入)");
const QString kRowsChanged = QStringLiteral("导出时列表的内容改变了, 文件没有写成");

void appendCsvField(QByteArray& out, const char* text, qsizetype size)
{
    bool quote = false;
    for (qsizetype i = 0; i < size && !quote; ++i) {
        const char c = text[i];
        quote = c == ',' || c == '"' || c == '\n' || c == '\r';
    }
    if (!quote) {
        out.append(text, size);
        return;
    }
    out.append('"');
    for (qsizetype i = 0; i < size; ++i) {
        if (text[i] == '"')
            out.append('"');
        out.append(text[i]);
    }
    out.append('"');
}

ExportResult writeCsv(data::DataSet* set, const QVector<ExportColumn>& columns, const QString& fileName,
                      const ExportProgress& progress)
{
    ExportResult result;
    const int rows = set && set->isActive() ? set->recordCount() : 0;
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly)) {
        result.error = file.errorString();
        return result;
    }
    QByteArray buffer;
    buffer.reserve(1 << 20);
    buffer.append("\xEF\xBB\xBF");
    for (int c = 0; c < columns.size(); ++c) {
        if (c > 0)
            buffer.append(',');
        const QByteArray title = columns.at(c).title.toUtf8();
        appendCsvField(buffer, title.constData(), title.size());
    }
    buffer.append("\r\n");
    // A write that stops short (a full disk, a size limit) may set no error on the file: it is
    // caught here and the new file is dropped, never put in place.
    int writeErrno = 0;
    const auto flush = [&] {
        errno = 0;
        if (file.write(buffer) != buffer.size()) {
            writeErrno = errno;
            return false;
        }
        buffer.clear();
        return true;
    };
    const auto writeFailed = [&] {
        file.cancelWriting();
        result.error = kWriteFailed;
        if (writeErrno != 0)
            result.error += QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(writeErrno));
        return result;
    };
    std::unique_ptr<RowsWatch> watch(set ? new RowsWatch(set) : nullptr);
    CellReader reader(set);
    for (int r = 0; r < rows; ++r) {
        if (r % kProgressEvery == 0 && r > 0 && progress) {
            if (!progress(r, rows)) {
                file.cancelWriting();
                result.status = ExportResult::Cancelled;
                return result;
            }
            if (watch->changed()) {
                file.cancelWriting();
                result.error = kRowsChanged;
                return result;
            }
        }
        for (int c = 0; c < columns.size(); ++c) {
            if (c > 0)
                buffer.append(',');
            const Cell cell = reader.read(r, columns.at(c));
            if (cell.kind == Cell::Text)
                appendCsvField(buffer, cell.text, cell.size);
            else if (cell.kind != Cell::Empty)
                buffer.append(cell.text, cell.size);
        }
        buffer.append("\r\n");
        if (buffer.size() >= (1 << 20) - 4096 && !flush())
            return writeFailed();
    }
    if (!flush() || !file.flush())
        return writeFailed();
    if (progress)
        progress(rows, rows);
    if (!file.commit()) {
        result.error = kWriteFailed + QStringLiteral(": ") + file.errorString();
        return result;
    }
    result.status = ExportResult::Written;
    result.rows = rows;
    return result;
}

// A sheet name Excel accepts: at most 31 characters, none of []:*?/\ .
QString sheetName(const QString& base, int number)
{
    QString name = base;
    for (QChar& ch : name)
        if (QStringLiteral("[]:*?/\\").contains(ch))
            ch = QLatin1Char('_');
    if (name.trimmed().isEmpty())
        name = QStringLiteral("Sheet");
    const QString suffix = number > 1 ? QStringLiteral(" (%1)").arg(number) : QString();
    return name.left(31 - int(suffix.size())) + suffix;
}

QString xlsxNumberFormat(const ExportColumn& column)
{
    if (column.maxDecimals == 0)
        return QStringLiteral("0");
    return QStringLiteral("0.") + QString(column.minDecimals, QLatin1Char('0')) +
           QString(column.maxDecimals - column.minDecimals, QLatin1Char('#'));
}

// True when a zip file ends with its central directory right where its last record says: a
// write that stopped short or left a gap in between does not.
bool zipComplete(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() < 22)
        return false;
    const qint64 tailSize = std::min<qint64>(file.size(), 22 + 65535);
    file.seek(file.size() - tailSize);
    const QByteArray tail = file.read(tailSize);
    const qsizetype at = tail.lastIndexOf(QByteArrayLiteral("PK\x05\x06"));
    if (at < 0 || at + 22 > tail.size())
        return false;
    const auto u32 = [&](qsizetype i) {
        const auto* b = reinterpret_cast<const uchar*>(tail.constData() + at + i);
        return quint32(b[0]) | quint32(b[1]) << 8 | quint32(b[2]) << 16 | quint32(b[3]) << 24;
    };
    const qint64 end = file.size() - tailSize + at;
    return qint64(u32(16)) + qint64(u32(12)) == end;
}

// True when every row a sheet has put in its temporary file got there.
bool sheetDataWritten(lxw_worksheet* sheet)
{
    for (FILE* f : {sheet->optimize_tmpfile, sheet->file})
        if (f && (std::fflush(f) != 0 || std::ferror(f)))
            return false;
    return true;
}

// A name beside the target that no file has, for writing the workbook before it is put in place.
QString partFileName(const QString& fileName)
{
    const QFileInfo info(fileName);
    for (int n = 0;; ++n) {
        const QString name = info.dir().filePath(
            QStringLiteral(".%1.%2-%3.part").arg(info.fileName()).arg(QCoreApplication::applicationPid()).arg(n));
        if (!QFileInfo::exists(name))
            return name;
    }
}

ExportResult writeXlsx(data::DataSet* set, QVector<ExportColumn> columns, const QString& fileName, const QString& title,
                       const ExportProgress& progress)
{
    ExportResult result;
    const int rows = set && set->isActive() ? set->recordCount() : 0;
    if (!QFileInfo(QFileInfo(fileName).absolutePath()).isDir()) {
        result.error = QStringLiteral("文件夹不存在");
        return result;
    }
    const QString part = partFileName(fileName);
    const QByteArray partName = QFile::encodeName(part);
    // Rows go to a temporary file in the target's folder as they are written (one million rows
    // would not fit in memory otherwise).
    QByteArray folder = QFile::encodeName(QFileInfo(fileName).absolutePath());
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    options.tmpdir = folder.data();
    lxw_workbook* book = workbook_new_opt(partName.constData(), &options);
    if (!book) {
        result.error = QStringLiteral("不能创建文件");
        return result;
    }
    const auto giveUp = [&](ExportResult::Status status, const QString& error) {
        lxw_workbook_free(book);
        QFile::remove(part);
        result.status = status;
        result.error = error;
        return result;
    };

    lxw_format* bold = workbook_add_format(book);
    format_set_bold(bold);
    lxw_format* date = workbook_add_format(book);
    format_set_num_format(date, "yyyy-mm-dd");
    for (ExportColumn& column : columns)
        if (column.kind == ExportColumn::Number) {
            column.format = workbook_add_format(book);
            format_set_num_format(column.format, xlsxNumberFormat(column).toUtf8().constData());
        }

    // A sheet holds 1,048,576 rows: the header and 1,048,575 records; more go on to further sheets.
    constexpr int kRowsPerSheet = LXW_ROW_MAX - 1;
    lxw_worksheet* sheet = nullptr;
    std::vector<lxw_worksheet*> sheets;
    QByteArray header;
    std::unique_ptr<RowsWatch> watch(set ? new RowsWatch(set) : nullptr);
    CellReader reader(set);
    lxw_error error = LXW_NO_ERROR;
    for (int r = 0; r < rows || (r == 0 && !sheet); ++r) {
        if (r % kRowsPerSheet == 0) {
            sheet = workbook_add_worksheet(book, sheetName(title, r / kRowsPerSheet + 1).toUtf8().constData());
            // Without its temporary file (no room, no rights in the folder) a sheet cannot take rows.
            if (!sheet || !sheet->optimize_tmpfile)
                return giveUp(ExportResult::Failed, QStringLiteral("不能在文件夹中写入临时文件"));
            sheets.push_back(sheet);
            for (int c = 0; c < columns.size(); ++c) {
                worksheet_set_column(sheet, lxw_col_t(c), lxw_col_t(c), std::max(8.0, columns.at(c).width / 7.0),
                                     nullptr);
                header = columns.at(c).title.toUtf8();
                error = worksheet_write_string(sheet, 0, lxw_col_t(c), header.constData(), bold);
                if (error != LXW_NO_ERROR)
                    return giveUp(ExportResult::Failed, QString::fromUtf8(lxw_strerror(error)));
            }
        }
        if (r >= rows)
            break;
        if (r % kProgressEvery == 0 && r > 0 && progress) {
            if (!progress(r, rows))
                return giveUp(ExportResult::Cancelled, QString());
            if (watch->changed())
                return giveUp(ExportResult::Failed, kRowsChanged);
        }
        const lxw_row_t sheetRow = lxw_row_t(r % kRowsPerSheet + 1);
        for (int c = 0; c < columns.size() && error == LXW_NO_ERROR; ++c) {
            const Cell cell = reader.read(r, columns.at(c));
            switch (cell.kind) {
            case Cell::Empty: break;
            case Cell::Number:
                error = worksheet_write_number(sheet, sheetRow, lxw_col_t(c), cell.number, columns.at(c).format);
                break;
            case Cell::Date: {
                lxw_datetime dt{cell.date.year(), cell.date.month(), cell.date.day(), 0, 0, 0};
                error = worksheet_write_datetime(sheet, sheetRow, lxw_col_t(c), &dt, date);
                break;
            }
            case Cell::Text:
                // The library reads texts up to a zero byte: the dataset's texts end with one.
                error = worksheet_write_string(sheet, sheetRow, lxw_col_t(c), cell.text, nullptr);
                break;
            }
        }
        if (error != LXW_NO_ERROR)
            return giveUp(ExportResult::Failed, QString::fromUtf8(lxw_strerror(error)));
    }
    // The library does not check every write: a full disk is caught here, before and after the
    // workbook is put together.
    for (lxw_worksheet* written : sheets)
        if (!sheetDataWritten(written))
            return giveUp(ExportResult::Failed, kWriteFailed);
    if (progress)
        progress(rows, rows);
    error = workbook_close(book); // writes the file and frees the workbook
    if (error != LXW_NO_ERROR || !zipComplete(part)) {
        QFile::remove(part);
        result.error = error != LXW_NO_ERROR ? QString::fromUtf8(lxw_strerror(error)) : kWriteFailed;
        return result;
    }
    // New files get the usual rights of the user's files; a replaced file keeps its own.
    if (QFileInfo::exists(fileName))
        QFile::setPermissions(part, QFile::permissions(fileName));
    if (std::rename(partName.constData(), QFile::encodeName(fileName).constData()) != 0) {
        result.error = QString::fromLocal8Bit(std::strerror(errno));
        QFile::remove(part);
        return result;
    }
    result.status = ExportResult::Written;
    result.rows = rows;
    return result;
}

// The caption of the window the grid is in, for a file name and a sheet name.
QString windowCaption(const QWidget* grid)
{
    for (const QWidget* w = grid; w; w = w->parentWidget())
        if (!w->windowTitle().isEmpty())
            return w->windowTitle();
    return QString();
}

ExportFileChooser& chooser()
{
    static ExportFileChooser current;
    return current;
}

QString chooseWithDialog(QWidget* parent, const QString& suggestedName)
{
    const QString csv = QStringLiteral("CSV 文件 (*.csv)");
    const QString xlsx = QStringLiteral("Excel 工作簿 (*.xlsx)");
    QString filter = csv;
    QString name = QFileDialog::getSaveFileName(parent, QStringLiteral("导出"), suggestedName,
                                                csv + QStringLiteral(";;") + xlsx, &filter);
    const QString suffix = QFileInfo(name).suffix().toLower();
    if (!name.isEmpty() && suffix != QLatin1String("csv") && suffix != QLatin1String("xlsx"))
        name += filter == xlsx ? QStringLiteral(".xlsx") : QStringLiteral(".csv");
    return name;
}

} // namespace

ExportFormat exportFormatOf(const QString& fileName)
{
    return QFileInfo(fileName).suffix().compare(QLatin1String("xlsx"), Qt::CaseInsensitive) == 0 ? ExportFormat::Xlsx
                                                                                                 : ExportFormat::Csv;
}

ExportResult exportDataSet(data::DataSet* set, const QVector<GridColumn>& columns, const QString& fileName,
                           ExportFormat format, const QString& sheetName, const ExportProgress& progress)
{
    const QVector<ExportColumn> exported = exportColumns(set, columns);
    if (format == ExportFormat::Xlsx)
        return writeXlsx(set, exported, fileName, sheetName, progress);
    return writeCsv(set, exported, fileName, progress);
}

ExportResult exportGrid(const DataGrid& grid, const QString& fileName, ExportFormat format,
                        const ExportProgress& progress)
{
    // The columns on the screen, in the order the user sees them, at their present widths.
    QVector<GridColumn> shown;
    const QHeaderView* header = grid.horizontalHeader();
    for (int visual = 0; visual < header->count(); ++visual) {
        const int c = header->logicalIndex(visual);
        if (c < 0 || c >= grid.gridColumnCount() || header->isSectionHidden(c))
            continue;
        GridColumn column = grid.gridColumn(c);
        column.width = header->sectionSize(c);
        shown << column;
    }
    return exportDataSet(grid.dataSet(), shown, fileName, format, windowCaption(&grid), progress);
}

void setExportFileChooser(ExportFileChooser newChooser)
{
    chooser() = std::move(newChooser);
}

void exportGridInteractively(DataGrid* grid)
{
    QWidget* window = grid->window();
    const QString caption = windowCaption(grid);
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = QDir::homePath();
    const QString suggested =
        QDir(folder).filePath((caption.isEmpty() ? QStringLiteral("导出") : caption) + QStringLiteral(".csv"));
    const QString fileName = chooser() ? chooser()(window, suggested) : chooseWithDialog(window, suggested);
    if (fileName.isEmpty())
        return;

    const int rows = grid->dataSet() && grid->dataSet()->isActive() ? grid->dataSet()->recordCount() : 0;
    QProgressDialog dialog(QStringLiteral("正在导出 %1 行...").arg(rows), QStringLiteral("取消"), 0, std::max(rows, 1),
                           window);
    dialog.setObjectName(QStringLiteral("ExportProgress"));
    dialog.setWindowTitle(kSystemCaption);
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.setMinimumDuration(400);
    dialog.setAutoReset(false);
    const ExportResult result =
        exportGrid(*grid, fileName, exportFormatOf(fileName), [&dialog](qint64 written, qint64 count) {
            dialog.setMaximum(int(std::max<qint64>(count, 1)));
            dialog.setValue(int(written));
            return !dialog.wasCanceled();
        });
    dialog.close();
    if (result.status == ExportResult::Failed)
        ShowStop(QStringLiteral("导出失败: %1\n%2").arg(result.error, QDir::toNativeSeparators(fileName)));
}

} // namespace toolkit
