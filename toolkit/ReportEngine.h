#pragma once

#include "data/DataSource.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QPageLayout>
#include <QPageSize>
#include <QPointer>
#include <QRectF>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace data {
class DataSet;
} // namespace data

class QWidget;

namespace toolkit {

// A banded report: page settings, a dataset reached through its data source, and bands of
// printable elements at fixed positions. Every size and position is in millimetres.

struct ReportPageSettings {
    QPageSize::PageSizeId paper = QPageSize::A4;
    QPageLayout::Orientation orientation = QPageLayout::Portrait;
    double topMargin = 10.0;
    double bottomMargin = 10.0;
    double leftMargin = 10.0;
    double rightMargin = 10.0;
    bool pageHeaderOnFirstPage = true;
    bool pageFooterOnLastPage = true;
    // An empty or closed dataset still prints one page with one empty detail line.
    bool printIfEmpty = true;
    int copies = 1;
    QString title;

    QSizeF paperSize() const;
    double usableWidth() const { return paperSize().width() - leftMargin - rightMargin; }
    double usableHeight() const { return paperSize().height() - topMargin - bottomMargin; }
};

// A group header and footer stand before and after each run of detail rows that agree in the group
// header's fields.
enum class ReportBandType { PageHeader, ColumnHeader, Detail, Summary, PageFooter, GroupHeader, GroupFooter };
enum class ReportElementKind { Label, DataField, SystemValue, Expression, Rule };
enum class ReportSystemValue { DateTime, PageNumber, RowCount };
// A dashed line is horizontal, through the middle of its box: the line to cut along.
enum class ReportRuleShape { FilledBar, Rectangle, HorizontalLine, VerticalLine, DashedLine };

// Pen width of thin lines and outlined rectangles.
inline constexpr double kThinLineMm = 0.2;
// The report text face; the program maps it to an installed Song face.
inline const QString kReportFontFamily = QStringLiteral("宋体");

struct ReportElement {
    ReportElementKind kind = ReportElementKind::Label;
    QString name;
    QRectF rect;   // in the band: from the band's left edge (the left margin) and its top
    QString text;  // label: the text
    QString field; // data field: the column; expression: the column summed over the detail rows
    QString mask;  // display mask of a data field or expression
    ReportSystemValue system = ReportSystemValue::DateTime;
    ReportRuleShape shape = ReportRuleShape::FilledBar;
    Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignTop;
    double pointSize = 11.0;
    // Expression: writes the total in place of the mask (e.g. in words).
    std::function<QString(double)> totalText;

    // A fixed text; with a zero width the box is as wide as the text.
    static ReportElement makeLabel(const QString& name, const QString& text, const QRectF& rect,
                                   Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignTop, double pointSize = 11.0);
    static ReportElement makeField(const QString& name, const QString& field, const QRectF& rect,
                                   const QString& mask = {}, Qt::Alignment alignment = Qt::AlignCenter);
    static ReportElement makeSystem(const QString& name, ReportSystemValue value, const QRectF& rect,
                                    Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignTop);
    static ReportElement makeSum(const QString& name, const QString& field, const QRectF& rect, const QString& mask,
                                 Qt::Alignment alignment, double pointSize);
    static ReportElement makeRule(const QString& name, ReportRuleShape shape, const QRectF& rect);
};

struct ReportBand {
    QString name;
    ReportBandType type = ReportBandType::Detail;
    double height = 0.0;
    QList<ReportElement> elements;
    // Group header: a new group begins at a row whose value of one of these fields differs from the
    // row before (texts compared without regard to case, as the database compares names). Its data
    // fields, and those of the group footer, show the group's first row; its expressions, and the
    // footer's, total the group's rows.
    QStringList groupFields;
    // Group header: a group that does not fit in the rest of the page begins on a new page, unless
    // it is longer than a page by itself.
    bool keepTogether = false;
};

// One element as it stands on a page: its final text and its box on the paper (millimetres from
// the paper's top-left corner).
struct ReportPlacedElement {
    QString band;
    QString name;
    ReportElementKind kind = ReportElementKind::Label;
    ReportRuleShape shape = ReportRuleShape::FilledBar;
    QRectF rect;
    QString text;
    Qt::Alignment alignment;
    double pointSize = 11.0;
    int row = -1; // detail elements: the dataset row (0-based, current order); -1 elsewhere
};

struct ReportPage {
    int number = 0; // 1-based
    QList<ReportPlacedElement> elements;
};

// The pages of one generation of a report. Pagination, the row count and the sums are fixed when
// the layout is made; a page's elements are placed when the page is asked for, reading the detail
// values from the dataset, so that a list of a million rows takes no more memory than one page.
// The dataset must stay as it was while the layout is in use (the preview is modal).
class ReportLayout {
public:
    ReportLayout();
    ~ReportLayout();
    ReportLayout(const ReportLayout&);
    ReportLayout& operator=(const ReportLayout&);

    int pageCount() const;
    ReportPage page(int index) const; // 0-based
    QSizeF paperSize() const;
    const ReportPageSettings& settings() const;
    // Number of dataset rows printed (0 for an empty or closed dataset): the count the summary
    // shows, for a caller that reports how much was printed.
    int rowCount() const;

private:
    friend class Report;
    struct Data;
    std::shared_ptr<const Data> d;
};

class Report : public QObject {
    Q_OBJECT
public:
    explicit Report(QObject* parent = nullptr);
    ~Report() override;

    ReportPageSettings& pageSettings() { return m_settings; }
    const ReportPageSettings& pageSettings() const { return m_settings; }

    void setDataSource(data::DataSource* source);
    data::DataSource* dataSource() const { return m_source; }
    data::DataSet* dataSet() const;

    // The new band. The reference holds only until the next addBand, which may move the bands:
    // fill a band before adding the next, or find it again with band().
    ReportBand& addBand(const QString& name, ReportBandType type, double height);
    ReportBand* band(const QString& name);
    const QList<ReportBand>& bands() const { return m_bands; }

    // Lays the report out from the dataset's rows in their current order; now is the print date.
    ReportLayout Prepare(const QDateTime& now = QDateTime::currentDateTime());
    // Generates the report and shows it in the print preview; returns when the preview closes.
    void Preview(QWidget* parent = nullptr);
    // Generates the report and writes it as a PDF file.
    bool SaveToPdf(const QString& path, QString* error = nullptr);

protected:
    // Called before every generation, e.g. to follow the current data module.
    virtual void beforeGenerate() {}

private:
    ReportPageSettings m_settings;
    QPointer<data::DataSource> m_source;
    QList<ReportBand> m_bands;
};

// The print-date text: the date as yyyy-MM-dd, a blank and the time, without the time at midnight.
QString reportDateTimeText(const QDateTime& now);
// Width of a text in a Song face: CJK characters one em wide, others half an em.
double reportTextWidthMm(const QString& text, double pointSize);

} // namespace toolkit
