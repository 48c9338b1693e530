#pragma once

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
    struct Column;
    friend class Field;
    int physicalRow(int row) const { return m_order.empty() ? row : int(m_order[size_t(row)]); }
    void resetCursor();
    bool run(bool keepRows);

    QString m_sql;
    QVariantList m_params;
    Connection* m_connection;
    bool m_active = false;
    std::vector<std::unique_ptr<Column>> m_columns;
    QHash<QString, int> m_fieldIndex; // lower-case name -> first column of that name
    int m_rowCount = 0;
    std::vector<quint32> m_order; // empty: statement order
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
