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

// Writes the bound values into a statement for a reader (texts quoted, quotes doubled).
QString statementWithValues(const QString& sql, const QVariantList& params);

} // namespace data
