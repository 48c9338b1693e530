#include "data/DataSet.h"

#include "data/Connection.h"

#include <QCollator>
#include <QLocale>

#include <sqlite3.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <numeric>

namespace data {

namespace {

enum Kind : quint8 { KNull = 0, KInt = 1, KReal = 2, KText = 3, KBlob = 4 };

// Rows are kept in blocks so that growing a column never copies what is already loaded.
constexpr int kBlockShift = 14;
constexpr int kBlockSize = 1 << kBlockShift;
constexpr int kBlockMask = kBlockSize - 1;

// A value as the database holds it. Every Qt type the program hands over goes through this one
// mapping, whether it is bound to a statement, written into the failure box or stored in memory.
struct DbValue {
    Kind kind = KNull;
    qint64 integer = 0;
    double real = 0;
    QByteArray bytes; // a text as UTF-8, or a blob
};

DbValue integerValue(qint64 number)
{
    DbValue v;
    v.kind = KInt;
    v.integer = number;
    return v;
}

DbValue realValue(double number)
{
    DbValue v;
    v.kind = KReal;
    v.real = number;
    return v;
}

DbValue bytesValue(Kind kind, QByteArray bytes)
{
    DbValue v;
    v.kind = kind;
    v.bytes = std::move(bytes);
    return v;
}

DbValue toDbValue(const QVariant& value)
{
    if (!value.isValid() || value.isNull())
        return {};
    switch (value.typeId()) {
    case QMetaType::Bool:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::LongLong: return integerValue(value.toLongLong());
    case QMetaType::ULong:
    case QMetaType::ULongLong: {
        const qulonglong number = value.toULongLong();
        if (number <= qulonglong(std::numeric_limits<qint64>::max()))
            return integerValue(qint64(number));
        return realValue(double(number));
    }
    case QMetaType::Float:
    case QMetaType::Double: return realValue(value.toDouble());
    case QMetaType::QByteArray: return bytesValue(KBlob, value.toByteArray());
    case QMetaType::QDate:
    case QMetaType::QDateTime: {
        // Dates are held as yyyy-MM-dd text; the program keeps no time of day.
        const QDate date = value.typeId() == QMetaType::QDate ? value.toDate() : value.toDateTime().date();
        if (!date.isValid())
            return {};
        return bytesValue(KText, date.toString(QStringLiteral("yyyy-MM-dd")).toUtf8());
    }
    default: return bytesValue(KText, value.toString().toUtf8());
    }
}

int bindValue(sqlite3_stmt* st, int index, const QVariant& value)
{
    const DbValue v = toDbValue(value);
    switch (v.kind) {
    case KInt: return sqlite3_bind_int64(st, index, v.integer);
    case KReal: return sqlite3_bind_double(st, index, v.real);
    case KText:
        return sqlite3_bind_text64(st, index, v.bytes.constData(), sqlite3_uint64(v.bytes.size()), SQLITE_TRANSIENT,
                                   SQLITE_UTF8);
    case KBlob:
        return sqlite3_bind_blob64(st, index, v.bytes.constData(), sqlite3_uint64(v.bytes.size()), SQLITE_TRANSIENT);
    default: return sqlite3_bind_null(st, index);
    }
}

// A value written into a statement for a reader, as SQL would spell it.
QString literal(const QVariant& value)
{
    const DbValue v = toDbValue(value);
    switch (v.kind) {
    case KInt: return QString::number(v.integer);
    case KReal: return QString::number(v.real, 'g', 15);
    case KText: {
        QString text = QString::fromUtf8(v.bytes);
        text.replace(QLatin1Char('\''), QStringLiteral("''"));
        return QLatin1Char('\'') + text + QLatin1Char('\'');
    }
    case KBlob: return QStringLiteral("X'") + QString::fromLatin1(v.bytes.toHex().toUpper()) + QLatin1Char('\'');
    default: return QStringLiteral("NULL");
    }
}

// True when nothing but blanks, comments and semicolons follows the first statement of a text.
bool onlyBlanksFollow(sqlite3* db, const char* tail, const char* end)
{
    while (tail && tail < end) {
        sqlite3_stmt* next = nullptr;
        const char* after = nullptr;
        const int rc = sqlite3_prepare_v2(db, tail, int(end - tail), &next, &after);
        sqlite3_finalize(next);
        if (rc != SQLITE_OK || next || after <= tail)
            return false;
        tail = after;
    }
    return true;
}

qint64 roundToInteger(double value)
{
    // Beyond the range of 64 bits (or not a number at all) there is no integer to round to.
    if (!std::isfinite(value))
        return 0;
    if (value >= 9223372036854775807.0)
        return std::numeric_limits<qint64>::max();
    if (value <= -9223372036854775808.0)
        return std::numeric_limits<qint64>::min();
    return qRound64(value);
}

} // namespace

struct DataSet::Column {
    QString name;
    std::vector<std::unique_ptr<quint64[]>> slotBlocks;
    std::vector<std::unique_ptr<quint8[]>> kindBlocks;
    std::vector<QByteArray> strings; // distinct texts and blobs, UTF-8
    // The look-up of the distinct texts: an open-addressing table, at most half full, whose buckets
    // hold 1 + an index into strings (0: empty), and the hash of each string, so that a look-up
    // rarely compares the text itself.
    std::vector<quint32> buckets;
    std::vector<quint32> stringHashes;
    quint32 lastIndex = 0;      // the text found last: rows in statement order often repeat it
    std::vector<quint32> ranks; // collation rank of each string; empty until a sort needs it

    quint64 slot(int row) const { return slotBlocks[size_t(row >> kBlockShift)][row & kBlockMask]; }
    quint8 kind(int row) const { return kindBlocks[size_t(row >> kBlockShift)][row & kBlockMask]; }

    void set(int row, quint8 kind, quint64 slot)
    {
        const size_t block = size_t(row >> kBlockShift);
        while (slotBlocks.size() <= block) {
            slotBlocks.emplace_back(new quint64[kBlockSize]);
            kindBlocks.emplace_back(new quint8[kBlockSize]);
        }
        slotBlocks[block][row & kBlockMask] = slot;
        kindBlocks[block][row & kBlockMask] = kind;
    }

    static bool sameBytes(const QByteArray& text, const char* bytes, int size)
    {
        return text.size() == size && (size == 0 || std::memcmp(text.constData(), bytes, size_t(size)) == 0);
    }

    // A quick hash of a short text. The bytes are read in whole words, the last word overlapping
    // the one before it, never past the end.
    static quint32 hashBytes(const char* bytes, int size)
    {
        const auto word = [bytes](size_t at) {
            quint64 v;
            std::memcpy(&v, bytes + at, 8);
            return v;
        };
        const auto half = [bytes](size_t at) {
            quint32 v;
            std::memcpy(&v, bytes + at, 4);
            return quint64(v);
        };
        const size_t n = size_t(size);
        quint64 h = 0x9e3779b97f4a7c15ULL ^ n;
        quint64 last = 0;
        if (n >= 8) {
            for (size_t at = 0; at + 8 < n; at += 8) {
                h = (h ^ word(at)) * 0xbf58476d1ce4e5b9ULL;
                h ^= h >> 31;
            }
            last = word(n - 8);
        } else if (n >= 4) {
            last = (half(0) << 32) | half(n - 4);
        } else if (n > 0) {
            last = (quint64(uchar(bytes[0])) << 16) | (quint64(uchar(bytes[n / 2])) << 8) | uchar(bytes[n - 1]);
        }
        h = (h ^ last) * 0x94d049bb133111ebULL;
        h ^= h >> 32;
        h *= 0xd6e8feb86659fd93ULL;
        return quint32(h ^ (h >> 32));
    }

    void growBuckets()
    {
        std::vector<quint32> larger(std::max<size_t>(64, buckets.size() * 2), 0u);
        const size_t mask = larger.size() - 1;
        for (quint32 index = 0; index < quint32(strings.size()); ++index) {
            size_t i = stringHashes[index] & mask;
            while (larger[i])
                i = (i + 1) & mask;
            larger[i] = index + 1;
        }
        buckets.swap(larger);
    }

    quint32 intern(const char* bytes, int size)
    {
        if (lastIndex < strings.size() && sameBytes(strings[lastIndex], bytes, size))
            return lastIndex;
        if ((strings.size() + 1) * 2 > buckets.size())
            growBuckets();
        const quint32 hash = hashBytes(bytes, size);
        const size_t mask = buckets.size() - 1;
        for (size_t i = hash & mask;; i = (i + 1) & mask) {
            if (buckets[i] == 0) {
                const quint32 index = quint32(strings.size());
                strings.emplace_back(bytes, size);
                stringHashes.push_back(hash);
                buckets[i] = index + 1;
                ranks.clear();
                return lastIndex = index;
            }
            const quint32 index = buckets[i] - 1;
            if (stringHashes[index] == hash && sameBytes(strings[index], bytes, size))
                return lastIndex = index;
        }
    }

    void load(sqlite3_stmt* st, int column, int row)
    {
        switch (sqlite3_column_type(st, column)) {
        case SQLITE_INTEGER: set(row, KInt, quint64(sqlite3_column_int64(st, column))); break;
        case SQLITE_FLOAT: set(row, KReal, std::bit_cast<quint64>(sqlite3_column_double(st, column))); break;
        case SQLITE_TEXT: {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st, column));
            set(row, KText, intern(text, sqlite3_column_bytes(st, column)));
            break;
        }
        case SQLITE_BLOB: {
            const auto* blob = static_cast<const char*>(sqlite3_column_blob(st, column));
            set(row, KBlob, intern(blob ? blob : "", sqlite3_column_bytes(st, column)));
            break;
        }
        default: set(row, KNull, 0); break;
        }
    }

    QVariant value(int row) const
    {
        const quint64 s = slot(row);
        switch (kind(row)) {
        case KInt: return qlonglong(s);
        case KReal: return std::bit_cast<double>(s);
        case KText: return QString::fromUtf8(strings[size_t(s)]);
        case KBlob: return strings[size_t(s)];
        default: return QVariant();
        }
    }

    void store(int row, const QVariant& value)
    {
        const DbValue v = toDbValue(value);
        switch (v.kind) {
        case KInt: set(row, KInt, quint64(v.integer)); return;
        case KReal: set(row, KReal, std::bit_cast<quint64>(v.real)); return;
        case KText:
        case KBlob: set(row, v.kind, intern(v.bytes.constData(), int(v.bytes.size()))); return;
        default: set(row, KNull, 0); return;
        }
    }

    // Ranks of the distinct texts in the order a Chinese user expects, letter case ignored.
    const std::vector<quint32>& textRanks()
    {
        if (ranks.size() == strings.size())
            return ranks;
        std::vector<QString> texts;
        texts.reserve(strings.size());
        for (const QByteArray& s : strings)
            texts.push_back(QString::fromUtf8(s));
        QCollator collator(QLocale(QLocale::Chinese, QLocale::China));
        collator.setCaseSensitivity(Qt::CaseInsensitive);
        std::vector<quint32> byOrder(strings.size());
        std::iota(byOrder.begin(), byOrder.end(), 0u);
        // Texts that begin with a Latin letter, digit or sign come before Chinese ones, as in the
        // lists users know; within each group the locale's order (pinyin for Chinese) holds.
        const auto group = [&texts](quint32 i) {
            return texts[i].isEmpty() || texts[i].at(0).unicode() < 0x80 ? 0 : 1;
        };
        const auto compare = [&](quint32 a, quint32 b) {
            const int ga = group(a);
            const int gb = group(b);
            return ga != gb ? ga - gb : collator.compare(texts[a], texts[b]);
        };
        std::stable_sort(byOrder.begin(), byOrder.end(), [&](quint32 a, quint32 b) { return compare(a, b) < 0; });
        ranks.assign(strings.size(), 0);
        quint32 rank = 0;
        for (size_t i = 0; i < byOrder.size(); ++i) {
            if (i > 0 && compare(byOrder[i - 1], byOrder[i]) != 0)
                ++rank;
            ranks[byOrder[i]] = rank;
        }
        return ranks;
    }
};

QString Field::fieldName() const
{
    return isValid() ? m_dataSet->fieldName(m_column) : QString();
}

QVariant Field::value() const
{
    if (!isValid() || m_dataSet->recordCount() == 0)
        return QVariant();
    return m_dataSet->value(m_dataSet->recNo() - 1, m_column);
}

bool Field::isNull() const
{
    const QVariant v = value();
    return !v.isValid() || v.isNull();
}

QString Field::asString() const
{
    const QVariant v = value();
    if (v.typeId() == QMetaType::Double)
        return QString::number(v.toDouble(), 'g', 15);
    return v.toString();
}

qint64 Field::asInteger() const
{
    const QVariant v = value();
    switch (v.typeId()) {
    case QMetaType::LongLong: return v.toLongLong();
    case QMetaType::Double: return roundToInteger(v.toDouble());
    default: return v.toString().trimmed().toLongLong();
    }
}

double Field::asFloat() const
{
    return value().toDouble();
}

QDate Field::asDate() const
{
    return QDate::fromString(value().toString().left(10), QStringLiteral("yyyy-MM-dd"));
}

DataSet::DataSet(const QString& name, Connection* connection, QObject* parent)
    : QObject(parent), m_connection(connection)
{
    setObjectName(name);
}

DataSet::~DataSet() = default;

void DataSet::setSql(const QString& text, const QVariantList& params)
{
    m_sql = text;
    m_params = params;
}

void DataSet::close()
{
    const bool wasActive = m_active || !m_columns.empty();
    m_active = false;
    m_columns.clear();
    m_fieldIndex.clear();
    m_rowCount = 0;
    m_storedRows = 0;
    m_base.clear();
    m_order.clear();
    m_sort.clear();
    m_readGeneration = 0;
    m_maxKeyKnown = false;
    resetCursor();
    if (wasActive)
        emit rowsChanged();
}

bool DataSet::open()
{
    return run(true);
}

bool DataSet::execSql()
{
    return run(false);
}

bool DataSet::run(bool keepRows)
{
    close();
    m_rowsAffected = 0;
    m_lastInsertId = 0;
    m_lastError = Error();
    const auto fail = [this](const Error& error) {
        m_lastError = error;
        m_columns.clear();
        m_fieldIndex.clear();
        m_rowCount = 0;
        return false;
    };
    if (!m_connection)
        return fail(Error{SQLITE_MISUSE, QStringLiteral("数据集没有连接数据库")});
    Error connectError;
    sqlite3* db = m_connection->handle(&connectError);
    if (!db)
        return fail(connectError);

    const QByteArray text = m_sql.toUtf8();
    const char* end = text.constData() + text.size();
    sqlite3_stmt* st = nullptr;
    const char* tail = nullptr;
    int rc = sqlite3_prepare_v2(db, text.constData(), int(text.size()), &st, &tail);
    if (rc != SQLITE_OK)
        return fail(m_connection->failure(rc));
    if (!st)
        return fail(Error{SQLITE_MISUSE, QStringLiteral("没有要执行的语句")});
    const std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> guard(st, sqlite3_finalize);
    if (!onlyBlanksFollow(db, tail, end))
        return fail(Error{SQLITE_MISUSE, QStringLiteral("每次只能执行一条语句，这条语句后面还有别的内容")});

    if (sqlite3_bind_parameter_count(st) != m_params.size())
        return fail(Error{SQLITE_RANGE, QStringLiteral("语句中有 %1 处要填入数据，给出的数据却有 %2 个")
                                            .arg(sqlite3_bind_parameter_count(st))
                                            .arg(m_params.size())});
    for (int i = 0; i < m_params.size(); ++i)
        if ((rc = bindValue(st, i + 1, m_params.at(i))) != SQLITE_OK)
            return fail(m_connection->failure(rc));

    const int columnCount = sqlite3_column_count(st);
    if (keepRows) {
        for (int c = 0; c < columnCount; ++c) {
            auto column = std::make_unique<Column>();
            column->name = QString::fromUtf8(sqlite3_column_name(st, c));
            // A look-up by name finds the first column of that name.
            if (!m_fieldIndex.contains(column->name.toLower()))
                m_fieldIndex.insert(column->name.toLower(), c);
            m_columns.push_back(std::move(column));
        }
    }

    // The connection's counters still tell of an earlier statement until this one changes a row;
    // the last key is cleared so that a new row whose key equals an earlier insert's still tells.
    const sqlite3_int64 changesBefore = sqlite3_total_changes64(db);
    sqlite3_set_last_insert_rowid(db, 0);
    int rows = 0;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        if (!keepRows)
            continue;
        for (int c = 0; c < columnCount; ++c)
            m_columns[size_t(c)]->load(st, c, rows);
        ++rows;
    }
    if (rc != SQLITE_DONE)
        return fail(m_connection->failure(rc));
    if (sqlite3_total_changes64(db) != changesBefore) {
        m_rowsAffected = int(sqlite3_changes64(db));
        m_lastInsertId = sqlite3_last_insert_rowid(db);
    }
    if (!keepRows)
        return true;
    m_rowCount = rows;
    m_storedRows = rows;
    m_active = true;
    noteDatabaseState();
    resetCursor();
    emit rowsChanged();
    return true;
}

void DataSet::resetCursor()
{
    m_current = 0;
    m_bof = true;
    m_eof = m_rowCount == 0;
    emit currentChanged();
}

void DataSet::first()
{
    resetCursor();
}

void DataSet::next()
{
    if (m_current + 1 < m_rowCount) {
        ++m_current;
        m_bof = false;
        emit currentChanged();
    } else {
        m_eof = true;
    }
}

void DataSet::prior()
{
    if (m_current > 0) {
        --m_current;
        m_eof = false;
        emit currentChanged();
    } else {
        m_bof = true;
    }
}

void DataSet::last()
{
    m_current = std::max(0, m_rowCount - 1);
    m_eof = m_rowCount == 0;
    m_bof = m_rowCount <= 1;
    emit currentChanged();
}

void DataSet::setRecNo(int recNo)
{
    if (recNo < 1 || recNo > m_rowCount)
        return;
    m_current = recNo - 1;
    m_bof = m_current == 0;
    m_eof = false;
    emit currentChanged();
}

QString DataSet::fieldName(int column) const
{
    return column >= 0 && column < fieldCount() ? m_columns[size_t(column)]->name : QString();
}

QStringList DataSet::fieldNames() const
{
    QStringList names;
    for (const auto& column : m_columns)
        names << column->name;
    return names;
}

int DataSet::findField(const QString& name) const
{
    return m_fieldIndex.value(name.toLower(), -1);
}

QVariant DataSet::value(int row, int column) const
{
    if (row < 0 || row >= m_rowCount || column < 0 || column >= fieldCount())
        return QVariant();
    return m_columns[size_t(column)]->value(physicalRow(row));
}

DataSet::RawValue DataSet::rawValue(int row, int column) const
{
    RawValue raw;
    if (row < 0 || row >= m_rowCount || column < 0 || column >= fieldCount())
        return raw;
    const Column& c = *m_columns[size_t(column)];
    const int physical = physicalRow(row);
    const quint64 s = c.slot(physical);
    switch (c.kind(physical)) {
    case KInt:
        raw.kind = RawValue::Integer;
        raw.integer = qint64(s);
        break;
    case KReal:
        raw.kind = RawValue::Real;
        raw.real = std::bit_cast<double>(s);
        break;
    case KText:
    case KBlob: {
        const QByteArray& bytes = c.strings[size_t(s)];
        raw.kind = c.kind(physical) == KText ? RawValue::Text : RawValue::Blob;
        raw.bytes = bytes.constData();
        raw.size = bytes.size();
        break;
    }
    default: break;
    }
    return raw;
}

bool DataSet::isNull(int row, int column) const
{
    if (row < 0 || row >= m_rowCount || column < 0 || column >= fieldCount())
        return true;
    return m_columns[size_t(column)]->kind(physicalRow(row)) == KNull;
}

void DataSet::setValue(int row, int column, const QVariant& value)
{
    if (row < 0 || row >= m_rowCount || column < 0 || column >= fieldCount())
        return;
    m_columns[size_t(column)]->store(physicalRow(row), value);
    emit rowsChanged();
}

bool DataSet::setSort(const QString& sortText, QString* error)
{
    const auto fail = [error](const QString& reason) {
        if (error)
            *error = reason;
        return false;
    };
    if (!m_active)
        return fail(QStringLiteral("数据集没有打开，不能排序"));
    const QStringList words = sortText.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.size() > 2 || (words.size() == 2 && words[1].compare(QLatin1String("ASC"), Qt::CaseInsensitive) != 0 &&
                             words[1].compare(QLatin1String("DESC"), Qt::CaseInsensitive) != 0))
        return fail(QStringLiteral("排序方式“%1”不正确").arg(sortText));
    const int column = words.isEmpty() ? -1 : findField(words[0]);
    if (!words.isEmpty() && column < 0)
        return fail(QStringLiteral("没有名为 %1 的字段，不能排序").arg(words[0]));

    const int currentRow = m_rowCount ? physicalRow(m_current) : 0;
    m_sort = sortText;
    if (words.isEmpty()) {
        m_order.clear();
    } else {
        const bool descending = words.size() == 2 && words[1].compare(QLatin1String("DESC"), Qt::CaseInsensitive) == 0;
        Column& col = *m_columns[size_t(column)];
        // A key per row: empty values first, then numbers by value, then texts by collation rank.
        struct Key {
            quint8 cls;
            double number;
        };
        std::vector<Key> keys(static_cast<size_t>(m_storedRows));
        const bool hasText = !col.strings.empty();
        const std::vector<quint32>* ranks = hasText ? &col.textRanks() : nullptr;
        for (int r = 0; r < m_storedRows; ++r) {
            const quint64 s = col.slot(r);
            switch (col.kind(r)) {
            case KInt: keys[size_t(r)] = {1, double(qint64(s))}; break;
            case KReal: keys[size_t(r)] = {1, std::bit_cast<double>(s)}; break;
            case KText: keys[size_t(r)] = {2, double((*ranks)[size_t(s)])}; break;
            case KBlob: keys[size_t(r)] = {3, double((*ranks)[size_t(s)])}; break;
            default: keys[size_t(r)] = {0, 0}; break;
            }
        }
        if (m_base.empty()) {
            m_order.resize(size_t(m_rowCount));
            std::iota(m_order.begin(), m_order.end(), 0u);
        } else {
            m_order = m_base;
        }
        const auto less = [&keys](quint32 a, quint32 b) {
            const Key& x = keys[a];
            const Key& y = keys[b];
            return x.cls != y.cls ? x.cls < y.cls : x.number < y.number;
        };
        if (descending)
            std::stable_sort(m_order.begin(), m_order.end(), [&less](quint32 a, quint32 b) { return less(b, a); });
        else
            std::stable_sort(m_order.begin(), m_order.end(), less);
    }
    if (m_rowCount) {
        if (m_order.empty()) {
            m_current = m_base.empty()
                            ? currentRow
                            : int(std::find(m_base.begin(), m_base.end(), quint32(currentRow)) - m_base.begin());
        } else {
            m_current = int(std::find(m_order.begin(), m_order.end(), quint32(currentRow)) - m_order.begin());
        }
    }
    emit rowsChanged();
    emit currentChanged();
    return true;
}

namespace {

// The data version of the database file: it changes when another connection commits a change.
qint64 dataVersion(sqlite3* db)
{
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, "PRAGMA data_version", -1, &st, nullptr) != SQLITE_OK)
        return -1;
    const qint64 version = sqlite3_step(st) == SQLITE_ROW ? sqlite3_column_int64(st, 0) : -1;
    sqlite3_finalize(st);
    return version;
}

int sign(double d)
{
    return (d > 0) - (d < 0);
}

// Texts under NOCASE: bytes with ASCII capitals taken as small letters, then the shorter first.
int compareNoCase(const QByteArray& a, const QByteArray& b)
{
    const qsizetype n = std::min(a.size(), b.size());
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? uchar(c - 'A' + 'a') : uchar(c); };
    for (qsizetype i = 0; i < n; ++i) {
        const uchar x = lower(a[i]);
        const uchar y = lower(b[i]);
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

int compareBytes(const QByteArray& a, const QByteArray& b)
{
    const int c = std::memcmp(a.constData(), b.constData(), size_t(std::min(a.size(), b.size())));
    if (c)
        return c < 0 ? -1 : 1;
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

} // namespace

void DataSet::noteDatabaseState()
{
    sqlite3* db = m_connection->handle();
    m_readGeneration = m_connection->generation();
    m_readChanges = sqlite3_total_changes64(db);
    m_readVersion = dataVersion(db);
}

int DataSet::compareRows(const std::vector<std::pair<int, OrderTerm>>& terms, int a, int b) const
{
    // SQLite's order of values: empty first, then numbers by value, then texts by the column's
    // collation, then blobs by their bytes.
    const auto rank = [](quint8 kind) { return kind == KNull ? 0 : kind == KText ? 2 : kind == KBlob ? 3 : 1; };
    for (const auto& [column, term] : terms) {
        const Column& col = *m_columns[size_t(column)];
        const quint8 ka = col.kind(a);
        const quint8 kb = col.kind(b);
        int c = rank(ka) - rank(kb);
        if (c == 0) {
            const quint64 sa = col.slot(a);
            const quint64 sb = col.slot(b);
            switch (ka) {
            case KInt:
            case KReal:
                if (ka == KInt && kb == KInt)
                    c = qint64(sa) < qint64(sb) ? -1 : qint64(sa) > qint64(sb) ? 1 : 0;
                else
                    c = sign((ka == KInt ? double(qint64(sa)) : std::bit_cast<double>(sa)) -
                             (kb == KInt ? double(qint64(sb)) : std::bit_cast<double>(sb)));
                break;
            case KText:
                c = sa == sb      ? 0
                    : term.noCase ? compareNoCase(col.strings[size_t(sa)], col.strings[size_t(sb)])
                                  : compareBytes(col.strings[size_t(sa)], col.strings[size_t(sb)]);
                break;
            case KBlob: c = sa == sb ? 0 : compareBytes(col.strings[size_t(sa)], col.strings[size_t(sb)]); break;
            default: break;
            }
        } else {
            c = c < 0 ? -1 : 1;
        }
        if (c)
            return term.descending ? -c : c;
    }
    return 0;
}

bool DataSet::patchRows(const RowPatch& patch)
{
    m_lastError = Error();
    const auto refuse = [this](const QString& reason) {
        m_lastError = Error{SQLITE_MISUSE, reason};
        return false;
    };
    if (!m_active || !m_connection || !m_connection->isOpen())
        return refuse(QStringLiteral("数据集没有打开"));
    sqlite3* db = m_connection->handle();
    if (m_connection->generation() != m_readGeneration ||
        sqlite3_total_changes64(db) != m_readChanges + patch.changes || dataVersion(db) != m_readVersion)
        return refuse(QStringLiteral("数据库在读取之后另有改动"));
    const int key = findField(patch.keyField);
    if (key < 0)
        return refuse(QStringLiteral("没有名为 %1 的字段").arg(patch.keyField));
    std::vector<std::pair<int, OrderTerm>> terms;
    for (const OrderTerm& term : patch.order) {
        const int column = findField(term.field);
        if (column < 0)
            return refuse(QStringLiteral("没有名为 %1 的字段").arg(term.field));
        terms.emplace_back(column, term);
    }
    Column& keys = *m_columns[size_t(key)];
    if (!m_maxKeyKnown) {
        m_maxKey = 0;
        for (int r = 0; r < m_rowCount; ++r) {
            const int stored = baseRow(r);
            if (keys.kind(stored) != KInt)
                return refuse(QStringLiteral("字段 %1 不是整数").arg(patch.keyField));
            m_maxKey = std::max(m_maxKey, qint64(keys.slot(stored)));
        }
        m_maxKeyKnown = true;
    }

    sqlite3_stmt* st = nullptr;
    const QByteArray text = patch.sql.toUtf8();
    int rc = sqlite3_prepare_v2(db, text.constData(), int(text.size()), &st, nullptr);
    if (rc != SQLITE_OK || !st) {
        m_lastError = m_connection->failure(rc);
        return false;
    }
    const std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> guard(st, sqlite3_finalize);
    const int columnCount = sqlite3_column_count(st);
    if (columnCount != fieldCount())
        return refuse(QStringLiteral("补读的语句与列表的字段不同"));
    for (int c = 0; c < columnCount; ++c)
        if (QString::fromUtf8(sqlite3_column_name(st, c)) != m_columns[size_t(c)]->name)
            return refuse(QStringLiteral("补读的语句与列表的字段不同"));
    QVariantList params = patch.params;
    params << m_maxKey << patch.changedKey;
    if (sqlite3_bind_parameter_count(st) != params.size())
        return refuse(QStringLiteral("补读的语句要填入的数据个数不对"));
    for (int i = 0; i < params.size(); ++i)
        if ((rc = bindValue(st, i + 1, params.at(i))) != SQLITE_OK) {
            m_lastError = m_connection->failure(rc);
            return false;
        }
    // The rows come in after the rows held; nothing held changes until all of them are read.
    std::vector<int> added;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        const int stored = m_storedRows + int(added.size());
        for (int c = 0; c < columnCount; ++c)
            m_columns[size_t(c)]->load(st, c, stored);
        if (keys.kind(stored) != KInt)
            return refuse(QStringLiteral("字段 %1 不是整数").arg(patch.keyField));
        added.push_back(stored);
    }
    if (rc != SQLITE_DONE) {
        m_lastError = m_connection->failure(rc);
        return false;
    }

    if (m_base.empty()) {
        m_base.resize(size_t(m_rowCount));
        std::iota(m_base.begin(), m_base.end(), 0u);
    }
    // The changed row leaves its place; if it still belongs to the list it comes back with the
    // rows read, in its new place.
    if (patch.changedKey.isValid()) {
        bool ok = false;
        const qint64 changed = patch.changedKey.toLongLong(&ok);
        if (ok && changed <= m_maxKey) {
            const auto held = std::find_if(m_base.begin(), m_base.end(), [&keys, changed](quint32 r) {
                return qint64(keys.slot(int(r))) == changed;
            });
            if (held != m_base.end())
                m_base.erase(held);
        }
    }
    for (const int stored : added) {
        const auto place =
            std::upper_bound(m_base.begin(), m_base.end(), quint32(stored),
                             [this, &terms](quint32 a, quint32 b) { return compareRows(terms, int(a), int(b)) < 0; });
        m_base.insert(place, quint32(stored));
        m_maxKey = std::max(m_maxKey, qint64(keys.slot(stored)));
    }
    m_storedRows += int(added.size());
    m_rowCount = int(m_base.size());
    m_order.clear();
    m_sort.clear();
    noteDatabaseState();
    resetCursor();
    emit rowsChanged();
    return true;
}

QString statementWithValues(const QString& sql, const QVariantList& params)
{
    QString out;
    out.reserve(sql.size() + 16 * params.size());
    bool inQuote = false;
    int next = 0;
    for (const QChar c : sql) {
        if (c == QLatin1Char('\''))
            inQuote = !inQuote;
        if (c == QLatin1Char('?') && !inQuote && next < params.size())
            out += literal(params.at(next++));
        else
            out += c;
    }
    return out;
}

} // namespace data
