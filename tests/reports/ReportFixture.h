#pragma once

#include "data/DataModule.h"
#include "data/Sql.h"
#include "testsupport/TestProgramDir.h"
#include "toolkit/ReportEngine.h"

#include <QString>
#include <QVariant>

// Piece-work records for the report tests: one style "K-100" with two priced steps; record i
// (1-based) is worker "工人NN" with i pieces of step 工序1 (1.5 yuan) or 工序2 (2.25 yuan).
namespace reportfixture {

inline const QString kStyle = QStringLiteral("K-100");
inline const QString kStyleDate = QStringLiteral("2024-02-20");

inline void addStyle(const QString& dbPath)
{
    testsupport::execSql(dbPath,
                         "INSERT INTO Product (Kind, Process, KindName, ProductCount, ProductDate) "
                         "VALUES (?, 2, '衬衫', 100, ?)",
                         {kStyle, kStyleDate});
    testsupport::execSql(dbPath, "INSERT INTO Process (Process, ProcessName, ProductId, Price) VALUES (?, ?, ?, ?)",
                         {QStringLiteral("工序1"), QStringLiteral("上领"), kStyle, 1.5});
    testsupport::execSql(dbPath, "INSERT INTO Process (Process, ProcessName, ProductId, Price) VALUES (?, ?, ?, ?)",
                         {QStringLiteral("工序2"), QStringLiteral("锁边"), kStyle, 2.25});
}

inline QString workerName(int i)
{
    return QStringLiteral("工人%1").arg(i, 2, 10, QLatin1Char('0'));
}

// A record; a null price leaves its amount empty.
inline void addRecord(const QString& dbPath, int i, const QVariant& price, const QString& dept = QStringLiteral("一组"))
{
    testsupport::execSql(
        dbPath,
        "INSERT INTO Salary (DeptName, MachineId, WorkerName, KindId, KindName, Process, "
        "ProcessName, ProcessSize, ProductCount, ProcessPrice, ProcessDate) "
        "VALUES (?, ?, ?, ?, '衬衫', ?, '上领', 0, ?, ?, '2024-03-15')",
        {dept, i, workerName(i), kStyle, i % 2 ? QStringLiteral("工序1") : QStringLiteral("工序2"), i, price});
}

inline double priceOf(int i)
{
    return i % 2 ? 1.5 : 2.25;
}

// Records 1..count, all priced; returns the total amount.
inline double addRecords(const QString& dbPath, int count)
{
    addStyle(dbPath);
    double total = 0.0;
    for (int i = 1; i <= count; ++i) {
        addRecord(dbPath, i, priceOf(i));
        total += i * priceOf(i);
    }
    return total;
}

// Loads the detail list and the wage summary with the statements the data module holds.
inline bool openDetail()
{
    return OpenQuery(DM->SalaryQuery, DM->SalaryQuery->sql());
}
inline bool openMonth()
{
    return OpenQuery(DM->SalaryMonthQuery, DM->SalaryMonthQuery->sql());
}

// The elements of one band and name on a page, in print order.
inline QList<const toolkit::ReportPlacedElement*> placed(const toolkit::ReportPage& page, const QString& band,
                                                         const QString& name)
{
    QList<const toolkit::ReportPlacedElement*> found;
    for (const toolkit::ReportPlacedElement& e : page.elements)
        if (e.band == band && e.name == name)
            found.append(&e);
    return found;
}

// Their texts.
inline QStringList placedTexts(const toolkit::ReportPage& page, const QString& band, const QString& name)
{
    QStringList out;
    for (const toolkit::ReportPlacedElement* e : placed(page, band, name))
        out.append(e->text);
    return out;
}

// How often a band is printed on a page: the placements of its first element.
inline int bandCount(const toolkit::ReportPage& page, const QString& band)
{
    QString first;
    int count = 0;
    for (const toolkit::ReportPlacedElement& e : page.elements) {
        if (e.band != band)
            continue;
        if (first.isEmpty())
            first = e.name;
        if (e.name == first)
            ++count;
    }
    return count;
}

} // namespace reportfixture
