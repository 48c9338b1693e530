#include "toolkit/ReportEngine.h"

#include "data/DataSet.h"
#include "data/DataSource.h"
#include "toolkit/DisplayMask.h"

#include <vector>

namespace toolkit {

QSizeF ReportPageSettings::paperSize() const
{
    const QSizeF portrait = QPageSize(paper).size(QPageSize::Millimeter);
    return orientation == QPageLayout::Landscape ? portrait.transposed() : portrait;
}

ReportElement ReportElement::makeLabel(const QString& name, const QString& text, const QRectF& rect,
                                       Qt::Alignment alignment, double pointSize)
{
    ReportElement e;
    e.kind = ReportElementKind::Label;
    e.name = name;
    e.text = text;
    e.rect = rect;
    e.alignment = alignment;
    e.pointSize = pointSize;
    return e;
}

ReportElement ReportElement::makeField(const QString& name, const QString& field, const QRectF& rect,
                                       const QString& mask, Qt::Alignment alignment)
{
    ReportElement e;
    e.kind = ReportElementKind::DataField;
    e.name = name;
    e.field = field;
    e.rect = rect;
    e.mask = mask;
    e.alignment = alignment;
    return e;
}

ReportElement ReportElement::makeSystem(const QString& name, ReportSystemValue value, const QRectF& rect,
                                        Qt::Alignment alignment)
{
    ReportElement e;
    e.kind = ReportElementKind::SystemValue;
    e.name = name;
    e.system = value;
    e.rect = rect;
    e.alignment = alignment;
    return e;
}

ReportElement ReportElement::makeSum(const QString& name, const QString& field, const QRectF& rect, const QString& mask,
                                     Qt::Alignment alignment, double pointSize)
{
    ReportElement e;
    e.kind = ReportElementKind::Expression;
    e.name = name;
    e.field = field;
    e.rect = rect;
    e.mask = mask;
    e.alignment = alignment;
    e.pointSize = pointSize;
    return e;
}

ReportElement ReportElement::makeRule(const QString& name, ReportRuleShape shape, const QRectF& rect)
{
    ReportElement e;
    e.kind = ReportElementKind::Rule;
    e.name = name;
    e.shape = shape;
    e.rect = rect;
    return e;
}

QString reportDateTimeText(const QDateTime& now)
{
    const QString date = now.date().toString(QStringLiteral("yyyy-MM-dd"));
    if (now.time() == QTime(0, 0))
        return date;
    return date + QLatin1Char(' ') + now.time().toString(QStringLiteral("H:mm:ss"));
}

double reportTextWidthMm(const QString& text, double pointSize)
{
    const double em = pointSize * 25.4 / 72.0;
    double width = 0.0;
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isLowSurrogate())
            continue;
        const char16_t u = c.unicode();
        const bool wide = c.isHighSurrogate() || (u >= 0x2E80 && u < 0xA4D0) || (u >= 0xAC00 && u < 0xD7A4) ||
                          (u >= 0xF900 && u < 0xFB00) || (u >= 0xFE30 && u < 0xFE50) || (u >= 0xFF00 && u < 0xFF61) ||
                          (u >= 0xFFE0 && u < 0xFFE7);
        width += wide ? em : em / 2.0;
    }
    return width;
}

struct ReportLayout::Data {
    struct PlacedBand {
        int band;
        double top;
        int row;        // detail: dataset row, -1 for the empty line; group bands: the group's first row
        int group = -1; // group bands: index into groupSums
    };
    ReportPageSettings settings;
    QList<ReportBand> bands;
    QPointer<data::DataSet> dataSet;
    QDateTime now;
    int rowCount = 0;
    std::vector<std::vector<int>> columns;      // [band][element]: dataset column of a data field, or -1
    std::vector<std::vector<double>> sums;      // [band][element]: total of an expression
    std::vector<std::vector<int>> groupSlots;   // [band][element]: slot of a group expression's total, or -1
    std::vector<std::vector<double>> groupSums; // [group][slot]
    std::vector<std::vector<PlacedBand>> pages;
};

ReportLayout::ReportLayout() : d(std::make_shared<Data>()) {}
ReportLayout::~ReportLayout() = default;
ReportLayout::ReportLayout(const ReportLayout&) = default;
ReportLayout& ReportLayout::operator=(const ReportLayout&) = default;

int ReportLayout::pageCount() const
{
    return int(d->pages.size());
}
QSizeF ReportLayout::paperSize() const
{
    return d->settings.paperSize();
}
const ReportPageSettings& ReportLayout::settings() const
{
    return d->settings;
}
int ReportLayout::rowCount() const
{
    return d->rowCount;
}

ReportPage ReportLayout::page(int index) const
{
    ReportPage page;
    if (index < 0 || index >= pageCount())
        return page;
    page.number = index + 1;
    const data::DataSet* set = d->dataSet.data();
    for (const Data::PlacedBand& placed : d->pages[size_t(index)]) {
        const ReportBand& band = d->bands.at(placed.band);
        for (int i = 0; i < band.elements.size(); ++i) {
            const ReportElement& el = band.elements.at(i);
            ReportPlacedElement out;
            out.band = band.name;
            out.name = el.name;
            out.kind = el.kind;
            out.shape = el.shape;
            out.alignment = el.alignment;
            out.pointSize = el.pointSize;
            if (band.type == ReportBandType::Detail)
                out.row = placed.row;
            switch (el.kind) {
            case ReportElementKind::Label: out.text = el.text; break;
            case ReportElementKind::DataField: {
                const int column = d->columns[size_t(placed.band)][size_t(i)];
                if (set && placed.row >= 0 && column >= 0)
                    out.text = applyDisplayMask(set->value(placed.row, column), el.mask);
                break;
            }
            case ReportElementKind::SystemValue:
                switch (el.system) {
                case ReportSystemValue::DateTime: out.text = reportDateTimeText(d->now); break;
                case ReportSystemValue::PageNumber: out.text = QString::number(page.number); break;
                case ReportSystemValue::RowCount: out.text = QString::number(d->rowCount); break;
                }
                break;
            case ReportElementKind::Expression: {
                const int slot = d->groupSlots[size_t(placed.band)][size_t(i)];
                const double total = slot >= 0 && placed.group >= 0 ? d->groupSums[size_t(placed.group)][size_t(slot)]
                                                                    : d->sums[size_t(placed.band)][size_t(i)];
                if (el.totalText)
                    out.text = el.totalText(total);
                else
                    out.text = el.mask.isEmpty() ? formatPlainNumber(total) : formatNumber(total, el.mask);
                break;
            }
            case ReportElementKind::Rule: break;
            }
            QRectF rect = el.rect.translated(d->settings.leftMargin, placed.top);
            if (rect.width() <= 0.0 && el.kind != ReportElementKind::Rule)
                rect.setWidth(reportTextWidthMm(out.text, el.pointSize));
            out.rect = rect;
            page.elements.append(out);
        }
    }
    return page;
}

Report::Report(QObject* parent) : QObject(parent) {}
Report::~Report() = default;

void Report::setDataSource(data::DataSource* source)
{
    m_source = source;
}

data::DataSet* Report::dataSet() const
{
    return m_source ? m_source->dataSet() : nullptr;
}

ReportBand& Report::addBand(const QString& name, ReportBandType type, double height)
{
    ReportBand band;
    band.name = name;
    band.type = type;
    band.height = height;
    m_bands.append(band);
    return m_bands.last();
}

ReportBand* Report::band(const QString& name)
{
    for (ReportBand& band : m_bands)
        if (band.name == name)
            return &band;
    return nullptr;
}

ReportLayout Report::Prepare(const QDateTime& now)
{
    beforeGenerate();
    auto d = std::make_shared<ReportLayout::Data>();
    d->settings = m_settings;
    d->bands = m_bands;
    d->now = now;
    data::DataSet* set = dataSet();
    d->dataSet = set;
    const bool open = set && set->isActive();
    d->rowCount = open ? set->recordCount() : 0;

    // Resolve the fields once and total the expressions over all detail rows; an expression of a
    // group band gets a slot for its group totals instead.
    d->columns.resize(size_t(m_bands.size()));
    d->sums.resize(size_t(m_bands.size()));
    d->groupSlots.resize(size_t(m_bands.size()));
    QList<int> slotColumns;
    for (int b = 0; b < m_bands.size(); ++b) {
        const ReportBand& band = m_bands.at(b);
        const bool groupBand = band.type == ReportBandType::GroupHeader || band.type == ReportBandType::GroupFooter;
        d->columns[size_t(b)].assign(size_t(band.elements.size()), -1);
        d->sums[size_t(b)].assign(size_t(band.elements.size()), 0.0);
        d->groupSlots[size_t(b)].assign(size_t(band.elements.size()), -1);
        for (int i = 0; i < band.elements.size(); ++i) {
            const ReportElement& el = band.elements.at(i);
            if (!open || (el.kind != ReportElementKind::DataField && el.kind != ReportElementKind::Expression))
                continue;
            const int column = set->findField(el.field);
            d->columns[size_t(b)][size_t(i)] = column;
            if (el.kind != ReportElementKind::Expression || column < 0)
                continue;
            if (groupBand) {
                d->groupSlots[size_t(b)][size_t(i)] = int(slotColumns.size());
                slotColumns.append(column);
                continue;
            }
            double total = 0.0;
            for (int row = 0; row < d->rowCount; ++row) {
                const QVariant v = set->value(row, column);
                if (v.isValid() && !v.isNull())
                    total += v.toDouble();
            }
            d->sums[size_t(b)][size_t(i)] = total;
        }
    }

    const auto firstBand = [this](ReportBandType type) {
        for (int b = 0; b < m_bands.size(); ++b)
            if (m_bands.at(b).type == type)
                return b;
        return -1;
    };
    const int pageHeader = firstBand(ReportBandType::PageHeader);
    const int columnHeader = firstBand(ReportBandType::ColumnHeader);
    const int detail = firstBand(ReportBandType::Detail);
    const int summary = firstBand(ReportBandType::Summary);
    const int pageFooter = firstBand(ReportBandType::PageFooter);
    const int groupHeader = firstBand(ReportBandType::GroupHeader);
    const int groupFooter = firstBand(ReportBandType::GroupFooter);
    const auto heightOf = [this](int b) { return b < 0 ? 0.0 : m_bands.at(b).height; };

    const QSizeF paper = m_settings.paperSize();
    const double footerTop = paper.height() - m_settings.bottomMargin - heightOf(pageFooter);
    constexpr double kEpsilon = 1e-6;
    double y = 0.0;
    bool bodyStarted = false; // a band other than the headers stands on the current page

    const auto place = [&](int b, int row, int group = -1) {
        d->pages.back().push_back({b, y, row, group});
        y += heightOf(b);
    };
    const auto startPage = [&]() {
        d->pages.emplace_back();
        y = m_settings.topMargin;
        bodyStarted = false;
        if (pageHeader >= 0 && (d->pages.size() > 1 || m_settings.pageHeaderOnFirstPage))
            place(pageHeader, -1);
        if (columnHeader >= 0)
            place(columnHeader, -1);
    };
    const auto endPage = [&](bool last) {
        if (pageFooter >= 0 && (!last || m_settings.pageFooterOnLastPage))
            d->pages.back().push_back({pageFooter, footerTop, -1});
    };
    // A band that does not fit above the page footer goes to a new page, unless the page holds
    // nothing but its headers (a band taller than a page is printed where it falls).
    const auto placeBody = [&](int b, int row, int group = -1) {
        if (bodyStarted && y + heightOf(b) > footerTop + kEpsilon) {
            endPage(false);
            startPage();
        }
        place(b, row, group);
        bodyStarted = true;
    };

    const int detailLines = d->rowCount > 0 ? d->rowCount : (m_settings.printIfEmpty ? 1 : 0);
    if (groupHeader >= 0 && d->rowCount > 0) {
        const ReportBand& header = m_bands.at(groupHeader);
        QList<int> keyColumns;
        for (const QString& field : header.groupFields)
            keyColumns.append(set->findField(field));
        const auto sameGroup = [&](int row, int before) {
            for (int column : keyColumns) {
                if (column < 0)
                    continue;
                const QVariant a = set->value(row, column);
                const QVariant b = set->value(before, column);
                if (a.typeId() == QMetaType::QString && b.typeId() == QMetaType::QString) {
                    if (a.toString().compare(b.toString(), Qt::CaseInsensitive) != 0)
                        return false;
                } else if (a != b) {
                    return false;
                }
            }
            return true;
        };
        // The room below the headers of a page that is not the first.
        const double pageRoom = footerTop - m_settings.topMargin - heightOf(pageHeader) - heightOf(columnHeader);
        startPage();
        int start = 0;
        while (start < d->rowCount) {
            int end = start + 1;
            while (end < d->rowCount && sameGroup(end, end - 1))
                ++end;
            const int group = int(d->groupSums.size());
            std::vector<double> totals(size_t(slotColumns.size()), 0.0);
            for (int s = 0; s < slotColumns.size(); ++s)
                for (int row = start; row < end; ++row) {
                    const QVariant v = set->value(row, slotColumns.at(s));
                    if (v.isValid() && !v.isNull())
                        totals[size_t(s)] += v.toDouble();
                }
            d->groupSums.push_back(std::move(totals));

            const double height = heightOf(groupHeader) + (end - start) * heightOf(detail) + heightOf(groupFooter);
            if (header.keepTogether && bodyStarted && y + height > footerTop + kEpsilon &&
                height <= pageRoom + kEpsilon) {
                endPage(false);
                startPage();
            }
            placeBody(groupHeader, start, group);
            if (detail >= 0)
                for (int row = start; row < end; ++row)
                    placeBody(detail, row, group);
            if (groupFooter >= 0)
                placeBody(groupFooter, start, group);
            start = end;
        }
        if (summary >= 0)
            placeBody(summary, -1);
        endPage(true);
    } else if (detailLines > 0) {
        startPage();
        if (detail >= 0)
            for (int row = 0; row < detailLines; ++row)
                placeBody(detail, d->rowCount > 0 ? row : -1);
        if (summary >= 0)
            placeBody(summary, -1);
        endPage(true);
    }

    ReportLayout layout;
    layout.d = d;
    return layout;
}

} // namespace toolkit
