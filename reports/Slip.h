#pragma once

#include "data/Dialect.h"
#include "toolkit/ReportEngine.h"

#include <QDate>
#include <QPointer>
#include <QString>

namespace data {
class DataSet;
class DataSource;
} // namespace data

// The wage slips of a month: one slip per worker, team and machine place (the groups of the month's
// wage summary), each with a line per style, step and price (pieces summed, price, amount), the
// month's total in figures and in capital numerals, and a dashed line to cut along. Several slips
// share an A4 page; a slip moves whole to the next page unless it is longer than a page.
class TSlipReport : public toolkit::Report {
    Q_OBJECT
public:
    explicit TSlipReport(QObject* owner = nullptr);
    ~TSlipReport() override;

    // The program's slip report: created on the first request, owned by the application.
    static TSlipReport* instance();

    // Reads the slip lines of the month (of one worker's name when worker is not empty) in one
    // statement on the current data module's connection; false when it failed (the box was shown).
    bool load(const QDate& month, const QString& worker = {});
    // The lines read by the last load, or null before the first.
    data::DataSet* lines() const;

    // The statement: the month's records joined to their step rows as in the wage summary, grouped
    // by worker, team, place, style, step and price, ordered by worker key, style and step number.
    // Values: the first day of the month and of the next one, then the worker's name if oneWorker.
    static QString linesSql(data::Dialect dialect, bool oneWorker);
    // "2004年03月"
    static QString monthText(const QDate& month);

private:
    QPointer<data::DataSet> m_lines;
    QPointer<data::DataSource> m_source;
};

extern TSlipReport* SlipReport;

// Band and element names, for readers of the layout.
namespace slipreport {
inline const QString kHeaderBand = QStringLiteral("SlipHeader");
inline const QString kDetailBand = QStringLiteral("SlipDetail");
inline const QString kFooterBand = QStringLiteral("SlipFooter");
inline const QString kCutLine = QStringLiteral("CutLine");
inline const QString kTotal = QStringLiteral("Total");
inline const QString kTotalWords = QStringLiteral("TotalWords");
inline const QString kMonth = QStringLiteral("Month");
} // namespace slipreport
