#pragma once

#include "data/ColumnStore.h"
#include "data/Error.h"

#include <QDate>
#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>
#include <vector>

namespace data {

class Connection;
class DataSet;
struct RowNotice;

// One term of a statement's order: a field, its direction, and whether its texts compare without
// regard to ASCII letter case (COLLATE NOCASE, as every text column of the program's tables does).
struct OrderTerm {
    QString field;
    bool descending = false;
    bool noCase = true;
};

// How a list that open() loaded is brought up to date after the caller changed rows of its table.
struct RowPatch {
    // An integer key that the database gives in rising order, one row each.
    QString keyField;
    // The order of the list's statement. Its terms must make the order total (end with the key).
    QList<OrderTerm> order;
    // A statement with the list statement's columns and conditions that returns its rows whose key
    // is past ? or equals ?: the highest key held and changedKey are bound after params.
    QString sql;
    QVariantList params;
    // The row the caller changed or deleted; invalid when rows were only added.
    QVariant changedKey;
    // How many rows the caller changed on the connection since the list was read.
    qint64 changes = 0;
};

// How a list follows what other connections change, on a server that announces its changes.
struct ListFollow {
    // The table the list's rows come from (any letter case) and the tables whose changes show in
    // the list other than by its key (a joined name): a change to one of those reads the list again.
    QString table;
    QStringList rereadOn;
    // The list statement; the list follows only while the dataset holds its result.
    QString listSql;
    // How to read changed rows, as for patchRows: its params are the list statement's values.
    RowPatch patch;
};

// A follow of a list of one table's rows: rowsSql reads the list's rows whose key is past ? or
// equals ?, with the list statement's values (params) before those two.
ListFollow followList(const QString& table, const QString& listSql, const QString& keyField,
                      const QList<OrderTerm>& order, const QString& rowsSql, const QVariantList& params = {},
                      const QStringList& rereadOn = {});

// One column of a dataset's current record, read as the caller needs it.
class Field {
public:
    Field() = default;
    Field(const DataSet* dataSet, int column) : m_dataSet(dataSet), m_column(column) {}

    bool isValid() const { return m_dataSet && m_column >= 0; }
    int index() const { return m_column; }
    QString fieldName() const;
    QVariant value() const; // an invalid QVariant for an empty (null) value or no current record
    bool isNull() const;
    QString asString() const;
    // The value as a whole number (a real rounded half away from zero, a text read as digits).
    qint64 asInteger() const;
    double asFloat() const;
    QDate asDate() const;

private:
    const DataSet* m_dataSet = nullptr;
    int m_column = -1;
};

// An in-memory result set, like a static client-side cursor: the rows of the last statement, a
// current record, fields by name (without regard to case) and by position, and a sort applied in
// memory. Rows are held column by column in compact typed slots, texts once per distinct value,
// so a million records of the piece-work table fit in about a hundred bytes each.
class DataSet : public QObject {
    Q_OBJECT
public:
    DataSet(const QString& name, Connection* connection, QObject* parent = nullptr);
    ~DataSet() override;

    // The statement and its bound values; "?" marks where each value goes.
    const QString& sql() const { return m_sql; }
    const QVariantList& params() const { return m_params; }
    void setSql(const QString& text, const QVariantList& params = {});

    // Runs the statement and loads its rows; on failure the dataset stays closed and lastError()
    // says why. The text must hold one statement (a closing ";" and blanks may follow).
    bool open();
    // Runs a statement that returns no rows; the dataset stays closed.
    bool execSql();
    void close();
    // Brings the rows to what open() of the current statement would give now, without reading the
    // whole table: rows past the highest key held are read and put in their places, the changed row
    // is replaced, moved or removed; the cursor and the in-memory sort are reset as a reload resets
    // them. Refused (false, nothing changed) when the rows may differ from the table in more than
    // the patch covers: not open, or the database changed since the rows were read other than by
    // the caller's `changes` on this connection; and when a field is missing or the statement fails
    // (lastError() says why). The caller then loads the list again with open().
    bool patchRows(const RowPatch& patch);
    // Makes the list follow other connections' changes (an empty table stops it). While it follows,
    // patchRows needs no proof that others left the table alone: their changes reach catchUp.
    void follow(const ListFollow& follow);
    // True while a follow is set and the dataset holds the result of its list statement.
    bool followsList() const;
    // Brings a following list to other connections' changes: the named rows are read again and put
    // in their places, or the whole list is read again when the notices name too many rows or a
    // whole table, when the list was read on an earlier opening of the connection, or when a patch
    // fails. The current record (by key) and the in-memory sort stay. False when the list is not
    // following, had nothing to catch up, or could not be read (lastError() says why).
    bool catchUp(const QList<RowNotice>& notices);
    bool isActive() const { return m_active; }
    Connection* connection() const { return m_connection; }
    // Why the last statement failed; no failure after one that succeeded.
    const Error& lastError() const { return m_lastError; }
    // Of the last statement; both 0 when it failed.
    int rowsAffected() const { return m_rowsAffected; }
    qint64 lastInsertId() const { return m_lastInsertId; }

    int recordCount() const { return m_rowCount; }
    bool isEmpty() const { return m_rowCount == 0; }
    bool eof() const { return m_eof; }
    bool bof() const { return m_bof; }
    void first();
    void next();
    void prior();
    void last();
    // 1-based position of the current record in the current order; 0 when there is none.
    int recNo() const { return m_rowCount == 0 ? 0 : m_current + 1; }
    void setRecNo(int recNo);

    int fieldCount() const { return int(m_columns.size()); }
    QString fieldName(int column) const;
    QStringList fieldNames() const;
    int findField(const QString& name) const; // -1 when the result set has no such field
    Field fieldByName(const QString& name) const { return Field(this, findField(name)); }
    Field field(int column) const { return Field(this, column < fieldCount() ? column : -1); }

    // The value at a 0-based position in the current order; an invalid QVariant for null.
    QVariant value(int row, int column) const;
    bool isNull(int row, int column) const;
    // A value as it is held, for code that writes many values out: no QVariant is made and a text
    // stays in its UTF-8 bytes, valid while the dataset keeps its rows.
    struct RawValue {
        enum Kind : quint8 { Null, Integer, Real, Text, Blob } kind = Null;
        qint64 integer = 0;
        double real = 0;
        const char* bytes = nullptr; // Text and Blob; a text is followed by a zero byte
        qsizetype size = 0;
    };
    RawValue rawValue(int row, int column) const;
    // Replaces one value in memory (the dataset does not write it to the database).
    void setValue(int row, int column, const QVariant& value);

    // "Field DESC" or "Field ASC" (empty: the statement's order), applied in memory; the current
    // record stays current. Refused for a closed dataset or an unknown field.
    bool setSort(const QString& sortText, QString* error = nullptr);
    const QString& sort() const { return m_sort; }

signals:
    // The rows, their order or the set of columns changed (open, close, sort, value edit).
    void rowsChanged();
    void currentChanged();

private:
    friend class Field;
    // Where the row at a position of the current order is stored.
    int physicalRow(int row) const
    {
        if (!m_order.empty())
            return int(m_order[size_t(row)]);
        return m_base.empty() ? row : int(m_base[size_t(row)]);
    }
    // Where the row at a position of the statement's order is stored.
    int baseRow(int row) const { return m_base.empty() ? row : int(m_base[size_t(row)]); }
    // SQLite's order of two stored rows under the terms (given as column indexes): < 0, 0, > 0.
    int compareRows(const std::vector<std::pair<int, OrderTerm>>& terms, int a, int b) const;
    void noteDatabaseState();
    void resetCursor();
    bool run(bool keepRows);
    // Reads the rows of the patch statement for these keys (past the highest held key, and/or equal
    // to one of changed) and puts them in their places; the held rows of the changed keys leave.
    bool patchKeys(const RowPatch& patch, bool readPastHeld, const QList<qint64>& changed);
    // True when other connections' changes reach this list as notices since it was read.
    bool hearsOthersChanges() const;
    ListFollow m_follow;
    QString m_sql;
    QVariantList m_params;
    Connection* m_connection;
    bool m_active = false;
    std::vector<std::unique_ptr<ColumnStore>> m_columns;
    QHash<QString, int> m_fieldIndex; // lower-case name -> first column of that name
    int m_rowCount = 0;
    int m_storedRows = 0;         // rows held in the columns; rows a patch removed stay stored
    std::vector<quint32> m_base;  // statement order -> stored row; empty: the rows as stored
    std::vector<quint32> m_order; // current order -> stored row; empty: statement order
    // The database as the rows were read: the connection's opening, its change counter, the mark of
    // other connections' changes, and the highest key held (once a patch has needed it).
    quint64 m_readGeneration = 0;
    qint64 m_readChanges = 0;
    qint64 m_readVersion = 0;
    bool m_maxKeyKnown = false;
    qint64 m_maxKey = 0;
    QString m_sort;
    int m_current = 0;
    bool m_eof = true;
    bool m_bof = true;
    int m_rowsAffected = 0;
    qint64 m_lastInsertId = 0;
    Error m_lastError;
};

// Takes the row notices that reached the connection and brings every following list among the
// datasets up to them (see DataSet::catchUp). Nothing happens inside an open transaction (a list
// read there could show what is not yet committed) or while the connection is closed: a list then
// keeps what it shows until the next statement connects again.
void catchUpLists(Connection& connection, const QList<DataSet*>& dataSets);

// Writes the bound values into a statement for a reader (texts quoted, quotes doubled).
QString statementWithValues(const QString& sql, const QVariantList& params);

} // namespace data
