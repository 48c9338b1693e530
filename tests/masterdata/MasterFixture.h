#pragma once

// Shared set-up of the master-data window tests: a temporary program folder with an empty
// database, a scripted message-box answerer and a data module, plus small helpers that drive a
// grid the way a user does and read what it shows.

#include "data/DataModule.h"
#include "testsupport/BoxAnswerer.h"
#include "testsupport/TestProgramDir.h"
#include "toolkit/DataGrid.h"

#include <QAbstractButton>
#include <QTest>

#include <memory>

namespace masterfixture {

struct Env {
    Env()
    {
        dir.prepareDatabase();
        dm = std::make_unique<TDM>();
    }
    QString db() const { return dir.dbPath(); }
    QList<QVariantList> rows(const QString& sql, const QVariantList& params = {}) const
    {
        return testsupport::queryRows(dir.dbPath(), sql, params);
    }
    void exec(const QString& sql, const QVariantList& params = {}) const
    {
        testsupport::execSql(dir.dbPath(), sql, params);
    }
    qlonglong addTeam(const QString& name) const
    {
        exec(QStringLiteral("INSERT INTO Dept (DeptName) VALUES (?)"), {name});
        return rows(QStringLiteral("SELECT max(id) FROM Dept")).at(0).at(0).toLongLong();
    }
    qlonglong addWorker(const QString& name, qlonglong deptId, const QString& machine,
                        const QString& date = QStringLiteral("2004-03-01")) const
    {
        exec(QStringLiteral("INSERT INTO Worker (WorkerName, DeptId, MachineId, EnterDate) VALUES (?,?,?,?)"),
             {name, deptId, machine, date});
        return rows(QStringLiteral("SELECT max(id) FROM Worker")).at(0).at(0).toLongLong();
    }
    // The lines of the change record, oldest first: kind, table, key, values before and after, note
    // and user, "NULL" where a field is empty.
    QList<QStringList> changeLines() const
    {
        QList<QStringList> lines;
        for (const QVariantList& row :
             rows(QStringLiteral("SELECT ChangeKind, TableName, RowKey, OldValues, NewValues, Note, UserName "
                                 "FROM ChangeLog ORDER BY Id"))) {
            QStringList line;
            for (const QVariant& value : row)
                line << (value.isNull() ? QStringLiteral("NULL") : value.toString());
            lines << line;
        }
        return lines;
    }
    // Makes the database one of an earlier version: without the tables of the closed months and the
    // change record. Only before the data module's first statement.
    void dropHistoryTables() const
    {
        exec(QStringLiteral("DROP TABLE ChangeLog"));
        exec(QStringLiteral("DROP TABLE MonthClose"));
    }
    qlonglong addUser(const QString& name, const QString& password, const QString& role) const
    {
        exec(QStringLiteral("INSERT INTO UserData (\"User\", Password, Role) VALUES (?,?,?)"), {name, password, role});
        return rows(QStringLiteral("SELECT max(Id) FROM UserData")).at(0).at(0).toLongLong();
    }

    testsupport::TestProgramDir dir;
    testsupport::BoxAnswerer boxes;
    std::unique_ptr<TDM> dm;
};

// What the grid shows: the display text of every cell, row by row.
inline QList<QStringList> gridRows(const toolkit::DataGrid* grid)
{
    QList<QStringList> result;
    const QAbstractItemModel* model = grid->model();
    for (int r = 0; r < model->rowCount(); ++r) {
        QStringList row;
        for (int c = 0; c < model->columnCount(); ++c)
            row << model->index(r, c).data().toString();
        result << row;
    }
    return result;
}

inline QStringList gridColumn(const toolkit::DataGrid* grid, int column)
{
    QStringList result;
    for (const QStringList& row : gridRows(grid))
        result << row.at(column);
    return result;
}

// A mouse press on a data row of a shown grid (first visible column unless given).
inline void pressRow(toolkit::DataGrid* grid, int row, Qt::MouseButton button = Qt::LeftButton, int column = 0)
{
    const QRect cell = grid->visualRect(grid->model()->index(row, column));
    QVERIFY2(cell.isValid(), "row not on screen");
    QTest::mousePress(grid->viewport(), button, {}, cell.center());
    QTest::mouseRelease(grid->viewport(), button, {}, cell.center());
}

// A press below the last row: the grid's current record stays as it is.
inline void pressEmptyArea(toolkit::DataGrid* grid)
{
    const QPoint below(5, grid->viewport()->height() - 3);
    QTest::mousePress(grid->viewport(), Qt::LeftButton, {}, below);
    QTest::mouseRelease(grid->viewport(), Qt::LeftButton, {}, below);
}

// The next control of the same window the Tab key moves to (parts of a control and hidden
// controls are passed over).
inline QWidget* nextTabStop(QWidget* widget)
{
    QWidget* next = widget->nextInFocusChain();
    while (next != widget && (!(next->focusPolicy() & Qt::TabFocus) || next->parentWidget() != widget->parentWidget() ||
                              !next->isVisibleTo(widget->window())))
        next = next->nextInFocusChain();
    return next;
}

inline void click(QAbstractButton* button)
{
    QVERIFY2(button->isEnabled(), qPrintable(button->objectName() + " is disabled"));
    button->click();
}

} // namespace masterfixture
