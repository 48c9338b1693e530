#include "data/DataSet.h"

#include "data/Connection.h"

#include <QCollator>
#include <QLocale>

#include "data/Engine.h"
#include "data/Schema.h"

#include <QSet>
#include <QSignalBlocker>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <numeric>

namespace data {

namespace {

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
        return fail(Error{kMisuse, QStringLiteral("数据集没有连接数据库"), ErrorKind::Other});
    ResultTarget target;
    target.columns = &m_columns;
    StatementOutcome outcome;
    Error error;
    if (!m_connection->run(m_sql, m_params, keepRows ? &target : nullptr, &outcome, &error))
        return fail(error);
    m_rowsAffected = outcome.rowsAffected;
    m_lastInsertId = outcome.newKey;
    if (!keepRows) {
        m_columns.clear();
        return true;
    }
    for (int c = 0; c < int(m_columns.size()); ++c) {
        // A look-up by name finds the first column of that name.
        const QString key = m_columns[size_t(c)]->name.toLower();
        if (!m_fieldIndex.contains(key))
            m_fieldIndex.insert(key, c);
    }
    m_rowCount = outcome.rows;
    m_storedRows = outcome.rows;
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
    const ColumnStore& c = *m_columns[size_t(column)];
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
        ColumnStore& col = *m_columns[size_t(column)];
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
    m_readGeneration = m_connection->generation();
    m_readChanges = m_connection->totalChanges();
    // A following list hears of others' changes; only a list that must prove their absence needs
    // the mark (a round trip to a server).
    m_readVersion = hearsOthersChanges() ? 0 : m_connection->othersChangeMark();
}

int DataSet::compareRows(const std::vector<std::pair<int, OrderTerm>>& terms, int a, int b) const
{
    // The engine's order of values: numbers by value, then texts by the column's collation (the
    // server's texts compare as SQLite's NOCASE does: ASCII letters without case, then bytes), then
    // blobs by their bytes; empty values first on SQLite, last on the server (in rising order).
    const int nullRank = m_connection->dialect() == Dialect::Sqlite ? 0 : 4;
    const auto rank = [nullRank](quint8 kind) {
        return kind == KNull ? nullRank : kind == KText ? 2 : kind == KBlob ? 3 : 1;
    };
    for (const auto& [column, term] : terms) {
        const ColumnStore& col = *m_columns[size_t(column)];
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

bool DataSet::hearsOthersChanges() const
{
    return followsList() && m_connection->hearsOthers() && m_connection->generation() == m_readGeneration;
}

bool DataSet::patchRows(const RowPatch& patch)
{
    m_lastError = Error();
    if (!m_active || !m_connection || !m_connection->isOpen()) {
        m_lastError = Error{kMisuse, QStringLiteral("数据集没有打开"), ErrorKind::Other};
        return false;
    }
    // Other connections' changes either reach this list as notices, or must not have happened.
    const bool othersHeard = hearsOthersChanges();
    if (m_connection->generation() != m_readGeneration ||
        m_connection->totalChanges() != m_readChanges + patch.changes ||
        (!othersHeard && (m_connection->othersChangeMark() != m_readVersion || m_readVersion < 0))) {
        m_lastError = Error{kMisuse, QStringLiteral("数据库在读取之后另有改动"), ErrorKind::Other};
        return false;
    }
    QList<qint64> changed;
    if (patch.changedKey.isValid()) {
        bool ok = false;
        const qint64 key = patch.changedKey.toLongLong(&ok);
        if (ok)
            changed << key;
    }
    if (!patchKeys(patch, true, changed))
        return false;
    m_order.clear();
    m_sort.clear();
    noteDatabaseState();
    resetCursor();
    emit rowsChanged();
    return true;
}

bool DataSet::patchKeys(const RowPatch& patch, bool readPastHeld, const QList<qint64>& changed)
{
    const auto refuse = [this](const QString& reason) {
        m_lastError = Error{kMisuse, reason, ErrorKind::Other};
        return false;
    };
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
    ColumnStore& keys = *m_columns[size_t(key)];
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

    // The rows come in after the rows held; nothing held changes until all of them are read. The
    // statement reads the rows past the highest key held and the one equal to a changed key; for
    // a changed key alone, nothing is past the highest key there is.
    ResultTarget target;
    target.columns = &m_columns;
    target.acceptColumns = [this](const QStringList& names, Error* error) {
        bool same = names.size() == fieldCount();
        for (int c = 0; same && c < names.size(); ++c)
            same = names.at(c) == m_columns[size_t(c)]->name;
        if (!same && error)
            *error = Error{kMisuse, QStringLiteral("补读的语句与列表的字段不同"), ErrorKind::Other};
        return same;
    };
    int read = 0;
    const auto readRows = [&](qint64 pastKey, const QVariant& equalKey) {
        QVariantList params = patch.params;
        params << pastKey << equalKey;
        target.firstRow = m_storedRows + read;
        StatementOutcome outcome;
        if (!m_connection->run(patch.sql, params, &target, &outcome, &m_lastError))
            return false;
        read += outcome.rows;
        return true;
    };
    if (readPastHeld && !readRows(m_maxKey, changed.isEmpty() ? QVariant() : QVariant(changed.first())))
        return false;
    for (qsizetype i = readPastHeld ? 1 : 0; i < changed.size(); ++i)
        if (!readRows(std::numeric_limits<qint64>::max(), changed.at(i)))
            return false;
    std::vector<int> added;
    for (int r = 0; r < read; ++r) {
        const int stored = m_storedRows + r;
        if (keys.kind(stored) != KInt)
            return refuse(QStringLiteral("字段 %1 不是整数").arg(patch.keyField));
        added.push_back(stored);
    }

    if (m_base.empty()) {
        m_base.resize(size_t(m_rowCount));
        std::iota(m_base.begin(), m_base.end(), 0u);
    }
    // The changed rows leave their places; those that still belong to the list come back with the
    // rows read, in their new places.
    if (!changed.isEmpty()) {
        const QSet<qint64> leaving(changed.begin(), changed.end());
        m_base.erase(
            std::remove_if(m_base.begin(), m_base.end(),
                           [&keys, &leaving](quint32 r) { return leaving.contains(qint64(keys.slot(int(r)))); }),
            m_base.end());
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
    return true;
}

ListFollow followList(const QString& table, const QString& listSql, const QString& keyField,
                      const QList<OrderTerm>& order, const QString& rowsSql, const QVariantList& params,
                      const QStringList& rereadOn)
{
    ListFollow follow;
    follow.table = table;
    follow.rereadOn = rereadOn;
    follow.listSql = listSql;
    follow.patch.keyField = keyField;
    follow.patch.order = order;
    follow.patch.sql = rowsSql;
    follow.patch.params = params;
    return follow;
}

void DataSet::follow(const ListFollow& follow)
{
    m_follow = follow;
}

bool DataSet::followsList() const
{
    return !m_follow.table.isEmpty() && m_connection && m_sql == m_follow.listSql && m_params == m_follow.patch.params;
}

bool DataSet::catchUp(const QList<RowNotice>& notices)
{
    if (!followsList() || !m_connection->isOpen())
        return false;
    bool reread = !m_active || m_connection->generation() != m_readGeneration;
    QList<qint64> changed;
    for (const RowNotice& notice : notices) {
        if (notice.table.compare(m_follow.table, Qt::CaseInsensitive) == 0) {
            reread = reread || notice.everyRow;
            changed << notice.keys;
        } else if (m_follow.rereadOn.contains(notice.table, Qt::CaseInsensitive)) {
            reread = true;
        }
    }
    std::sort(changed.begin(), changed.end());
    changed.erase(std::unique(changed.begin(), changed.end()), changed.end());
    if (!reread && changed.isEmpty())
        return false;
    reread = reread || changed.size() > kRowNoticeMostKeys;

    // The clerk's place in the list stays: the same record current, the same sort; the grid sees
    // one change of the rows and one of the current record.
    const int keyColumn = findField(m_follow.patch.keyField);
    const QVariant currentKey = m_active && keyColumn >= 0 ? value(m_current, keyColumn) : QVariant();
    const int currentPlace = m_current;
    const QString sort = m_sort;
    bool done = false;
    {
        const QSignalBlocker quiet(this);
        if (!reread) {
            m_lastError = Error();
            done = patchKeys(m_follow.patch, false, changed);
            if (done) {
                m_order.clear();
                m_sort.clear();
                noteDatabaseState();
            }
        }
        if (!done)
            done = run(true);
        if (done && !sort.isEmpty())
            setSort(sort);
        if (done && m_rowCount > 0) {
            const int column = findField(m_follow.patch.keyField);
            int place = std::min(currentPlace, m_rowCount - 1);
            if (currentKey.isValid() && column >= 0)
                for (int row = 0; row < m_rowCount; ++row)
                    if (value(row, column) == currentKey) {
                        place = row;
                        break;
                    }
            m_current = place;
            m_bof = place == 0;
            m_eof = false;
        }
    }
    emit rowsChanged();
    emit currentChanged();
    return done;
}

void catchUpLists(Connection& connection, const QList<DataSet*>& dataSets)
{
    if (!connection.hearsOthers() || connection.inTransaction())
        return;
    const QList<RowNotice> notices = connection.takeRowNotices();
    for (DataSet* set : dataSets)
        if (set)
            set->catchUp(notices);
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
