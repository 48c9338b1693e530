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
#include <string>
#include <vector>

namespace toolkit {

namespace {

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
            return number(Decimal::of(qint64(raw.integer)), column);
        case data::DataSet::RawValue::Real:
            if (column.kind == ExportColumn::Date)
                return slow(row, column);
            if (!std::isfinite(raw.real))
                return cell;
            return number(Decimal::of(raw.real), column);
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
    // A number as the grid shows it: under a number mask rounded to the mask's decimals, otherwise
    // with every decimal it has.
    Cell number(Decimal d, const ExportColumn& column)
    {
        const bool masked = column.kind == ExportColumn::Number;
        if (masked)
            d.roundToDecimals(column.maxDecimals);
        const int minDecimals = masked ? column.minDecimals : 0;
        Cell cell;
        cell.kind = Cell::Number;
        const qsizetype room = d.plainSize(minDecimals) + 1;
        if (m_number.size() < room)
            m_number.resize(room);
        char* end = d.writePlain(m_number.data(), minDecimals);
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
                return number(Decimal::of(n), column);
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

// True for a text that a spreadsheet opening the CSV file would take for a formula: one that
// begins with "=", "+", "-" or "@", or with a tab or carriage return (which some programs skip
// before they look at the first character).
bool looksLikeFormula(const char* text, qsizetype size)
{
    if (size == 0)
        return false;
    switch (text[0]) {
    case '=':
    case '+':
    case '-':
    case '@':
    case '\t':
    case '\r': return true;
    default: return false;
    }
}

// Appends a text field, quoted when it holds a comma, a quote or a line break. A text that looks
// like a formula gets a leading apostrophe, so that a spreadsheet shows it as the text it is and
// never runs it.
void appendCsvField(QByteArray& out, const char* text, qsizetype size)
{
    const bool guard = looksLikeFormula(text, size);
    bool quote = false;
    for (qsizetype i = 0; i < size && !quote; ++i) {
        const char c = text[i];
        quote = c == ',' || c == '"' || c == '\n' || c == '\r';
    }
    if (!quote) {
        if (guard)
            out.append('\'');
        out.append(text, size);
        return;
    }
    out.append('"');
    if (guard)
        out.append('\'');
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

// ---- Number cells as the grid shows them ---------------------------------------------------------

// The library writes a number cell's value with 16 significant digits, so that 69.225 (whose double
// lies just below it) comes out as 69.22499999999999, and under a locale with a decimal comma it
// writes a comma. A sheet's rows pass through this filter on their way to the sheet's temporary
// file: every value of 16 digits is written again as the shortest text that reads back as the same
// double. For the exported numbers (at most 15 significant digits, rounded as the grid rounds them)
// that is the very text the grid and the CSV file show.
class NumberCellFilter {
public:
    // Puts the filter between a sheet of a constant-memory workbook and its temporary file. The
    // library reads the file back and closes it when the workbook is put together; closing the
    // filter closes the file.
    static bool install(lxw_worksheet* sheet)
    {
        if (!sheet->optimize_tmpfile || sheet->file != sheet->optimize_tmpfile)
            return false;
        auto* filter = new NumberCellFilter(sheet->optimize_tmpfile);
        const cookie_io_functions_t functions{&NumberCellFilter::read, &NumberCellFilter::write,
                                              &NumberCellFilter::seek, &NumberCellFilter::close};
        FILE* filtered = fopencookie(filter, "w+", functions);
        if (!filtered) {
            delete filter;
            return false;
        }
        std::setvbuf(filtered, nullptr, _IOFBF, 1 << 16);
        sheet->optimize_tmpfile = filtered;
        sheet->file = filtered;
        return true;
    }

private:
    explicit NumberCellFilter(FILE* file) : m_file(file) { m_out.reserve((1 << 16) + 64); }

    static ssize_t read(void* cookie, char* buffer, size_t size)
    {
        auto* self = static_cast<NumberCellFilter*>(cookie);
        const size_t got = std::fread(buffer, 1, size, self->m_file);
        return got == 0 && std::ferror(self->m_file) ? -1 : ssize_t(got);
    }

    static int seek(void* cookie, off64_t* offset, int whence)
    {
        auto* self = static_cast<NumberCellFilter*>(cookie);
        if (fseeko64(self->m_file, *offset, whence) != 0)
            return -1;
        *offset = ftello64(self->m_file);
        return 0;
    }

    static int close(void* cookie)
    {
        auto* self = static_cast<NumberCellFilter*>(cookie);
        const int result = std::fclose(self->m_file);
        self->m_file = nullptr;
        delete self;
        return result;
    }

    // Takes every byte; a failed write of the file (a full disk) is an error of the filter's stream.
    static ssize_t write(void* cookie, const char* data, size_t size)
    {
        auto* self = static_cast<NumberCellFilter*>(cookie);
        self->filter(data, size);
        const bool written =
            std::fwrite(self->m_out.data(), 1, self->m_out.size(), self->m_file) == self->m_out.size() &&
            std::fflush(self->m_file) == 0;
        self->m_out.clear();
        return written ? ssize_t(size) : 0;
    }

    // Copies the data and rewrites the text between "<v>" and "</v>", also when a piece of data
    // ends inside it. Texts in the sheet have "<" escaped, so "<v>" starts a cell value only.
    void filter(const char* data, size_t size)
    {
        static constexpr char kStart[] = "<v>";
        for (size_t i = 0; i < size; ++i) {
            const char c = data[i];
            if (m_inValue) {
                if (c == '<') {
                    m_inValue = false;
                    writeValue();
                } else if (m_valueSize < int(sizeof m_value)) {
                    m_value[m_valueSize++] = c;
                    continue;
                } else {
                    // Longer than any number: left as it is.
                    m_inValue = false;
                    m_out.append(m_value, size_t(m_valueSize));
                }
            }
            m_out.push_back(c);
            m_matched = c == kStart[m_matched] ? m_matched + 1 : c == '<' ? 1 : 0;
            if (m_matched == 3) {
                m_matched = 0;
                m_inValue = true;
                m_valueSize = 0;
            }
        }
    }

    void writeValue()
    {
        char* const end = m_value + m_valueSize;
        int digits = 0;
        bool leading = true;
        for (char* c = m_value; c < end && *c != 'E' && *c != 'e'; ++c) {
            if (*c == ',')
                *c = '.';
            if (*c >= '1' && *c <= '9')
                leading = false;
            if (*c >= '0' && *c <= '9' && !leading)
                ++digits;
        }
        double value = 0;
        const auto parsed = std::from_chars(m_value, end, value);
        if (digits <= std::numeric_limits<double>::digits10 || parsed.ec != std::errc() || parsed.ptr != end ||
            !std::isfinite(value)) {
            m_out.append(m_value, size_t(m_valueSize));
            return;
        }
        char text[64];
        // Plain digits where they are few, as the grid shows them; an exponent for the far ones.
        const double magnitude = std::fabs(value);
        const auto result = magnitude >= 1e-5 && magnitude < 1e16
                                ? std::to_chars(text, text + sizeof text, value, std::chars_format::fixed)
                                : std::to_chars(text, text + sizeof text, value);
        m_out.append(text, size_t(result.ptr - text));
    }

    FILE* m_file;
    std::string m_out;
    char m_value[40];
    int m_valueSize = 0;
    int m_matched = 0; // characters of "<v>" seen so far
    bool m_inValue = false;
};

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
    std::vector<lxw_worksheet*> sheets;
    const auto giveUp = [&](ExportResult::Status status, const QString& error) {
        // The library closes a sheet's temporary file only when it puts the workbook together.
        for (lxw_worksheet* started : sheets)
            if (started->optimize_tmpfile) {
                std::fclose(started->optimize_tmpfile);
                started->optimize_tmpfile = nullptr;
                started->file = nullptr;
            }
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
            if (!NumberCellFilter::install(sheet))
                return giveUp(ExportResult::Failed, QStringLiteral("不能在文件夹中写入临时文件"));
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
