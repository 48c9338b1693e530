#include "toolkit/ReportPreview.h"

#include "toolkit/MessageBox.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QPageSetupDialog>
#include <QPainter>
#include <QPdfWriter>
#include <QPrintDialog>
#include <QPrinter>
#include <QSaveFile>
#include <QScreen>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStandardPaths>
#include <QToolBar>
#include <QVBoxLayout>

#include <algorithm>

namespace toolkit {

namespace {

QPageLayout paperLayout(const ReportPageSettings& settings)
{
    // The report places everything itself from the paper's corner; the device adds no margins.
    return QPageLayout(QPageSize(settings.paper), settings.orientation, QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
}

void drawRule(QPainter& painter, const ReportPlacedElement& e)
{
    const QRectF& r = e.rect;
    QPen pen(Qt::black, kThinLineMm);
    pen.setCapStyle(Qt::FlatCap);
    switch (e.shape) {
    case ReportRuleShape::FilledBar: painter.fillRect(r, Qt::black); break;
    case ReportRuleShape::Rectangle:
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(r.adjusted(kThinLineMm / 2, kThinLineMm / 2, -kThinLineMm / 2, -kThinLineMm / 2));
        break;
    case ReportRuleShape::HorizontalLine:
        painter.setPen(pen);
        painter.drawLine(QPointF(r.left(), r.center().y()), QPointF(r.right(), r.center().y()));
        break;
    case ReportRuleShape::VerticalLine:
        painter.setPen(pen);
        painter.drawLine(QPointF(r.center().x(), r.top()), QPointF(r.center().x(), r.bottom()));
        break;
    case ReportRuleShape::DashedLine:
        // Dashes of 2 mm with gaps of 1.2 mm (the pattern counts in pen widths).
        pen.setDashPattern({2.0 / kThinLineMm, 1.2 / kThinLineMm});
        painter.setPen(pen);
        painter.drawLine(QPointF(r.left(), r.center().y()), QPointF(r.right(), r.center().y()));
        break;
    }
}

void drawText(QPainter& painter, const ReportPlacedElement& e, double dotsPerMmX, double dotsPerMmY)
{
    if (e.text.isEmpty())
        return;
    // Text is set in device units so that the face is used at its real point size (a painter
    // scaled to millimetres would need the size converted and loses hinting precision).
    const QRectF box(e.rect.x() * dotsPerMmX, e.rect.y() * dotsPerMmY, e.rect.width() * dotsPerMmX,
                     e.rect.height() * dotsPerMmY);
    QFont font(kReportFontFamily);
    font.setPointSizeF(e.pointSize);
    font.setHintingPreference(QFont::PreferNoHinting);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(box, int(e.alignment) | Qt::TextSingleLine | Qt::TextDontClip, e.text);
}

} // namespace

void ensureReportFonts()
{
    if (QFont::substitutes(kReportFontFamily).isEmpty())
        QFont::insertSubstitutions(kReportFontFamily, {QStringLiteral("SimSun"), QStringLiteral("AR PL UMing CN"),
                                                       QStringLiteral("WenQuanYi Zen Hei")});
}

void paintReportPage(QPainter& painter, const ReportPage& page, double dotsPerMmX, double dotsPerMmY)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    for (const ReportPlacedElement& e : page.elements) {
        if (e.kind == ReportElementKind::Rule) {
            painter.setWorldTransform(QTransform::fromScale(dotsPerMmX, dotsPerMmY));
            drawRule(painter, e);
        } else {
            painter.setWorldTransform(QTransform());
            drawText(painter, e, dotsPerMmX, dotsPerMmY);
        }
    }
    painter.restore();
}

bool paintReport(const ReportLayout& layout, QPagedPaintDevice* device)
{
    ensureReportFonts();
    int from = 1;
    int to = layout.pageCount();
    if (auto* printer = dynamic_cast<QPrinter*>(device)) {
        printer->setFullPage(true);
        if (printer->printRange() == QPrinter::PageRange && printer->fromPage() > 0) {
            from = std::max(from, printer->fromPage());
            to = std::min(to, printer->toPage() > 0 ? printer->toPage() : to);
        }
    }
    QPainter painter;
    if (!painter.begin(device))
        return false;
    const double dotsPerMmX = device->logicalDpiX() / 25.4;
    const double dotsPerMmY = device->logicalDpiY() / 25.4;
    for (int number = from; number <= to; ++number) {
        if (number > from && !device->newPage())
            return false;
        paintReportPage(painter, layout.page(number - 1), dotsPerMmX, dotsPerMmY);
    }
    return painter.end();
}

bool writeReportPdf(const ReportLayout& layout, const QString& path, QString* error)
{
    // Written beside the target under another name and put in place only when complete: a failure
    // leaves the former file as it was and nothing half written.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    bool painted = false;
    {
        QPdfWriter writer(&file);
        writer.setResolution(1200);
        writer.setPageLayout(paperLayout(layout.settings()));
        writer.setTitle(layout.settings().title);
        writer.setCreator(QStringLiteral("Dorvik"));
        painted = paintReport(layout, &writer);
    }
    if (!painted) {
        file.cancelWriting();
        if (error)
            *error = QStringLiteral("无法绘制报表");
        return false;
    }
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

bool printReport(const ReportLayout& layout, QPrinter* printer)
{
    if (paintReport(layout, printer))
        return true;
    ShowStop(kPrintFailedText);
    return false;
}

bool PreviewPainter::paint(QPrinter* printer)
{
    const bool painted = paintReport(m_layout, printer);
    if (!painted && !m_failureShown)
        ShowStop(kPrintFailedText);
    m_failureShown = !painted;
    return painted;
}

void saveReportPdfAs(const ReportLayout& layout, QWidget* parent)
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    QString path = QFileDialog::getSaveFileName(parent, QStringLiteral("保存为PDF"),
                                                QDir(folder).filePath(QStringLiteral("工资条.pdf")),
                                                QStringLiteral("PDF 文件 (*.pdf)"));
    if (path.isEmpty())
        return;
    if (!path.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive))
        path += QLatin1String(".pdf");
    QString error;
    if (!writeReportPdf(layout, path, &error))
        ShowStop(QStringLiteral("无法保存PDF文件:\n") + QDir::toNativeSeparators(path) + QStringLiteral("\n") + error);
}

namespace {

// The screen's resolution in pixels per millimetre.
double screenDotsPerMm(const QWidget* widget)
{
    const QScreen* screen = widget->screen() ? widget->screen() : QGuiApplication::primaryScreen();
    return (screen ? screen->logicalDotsPerInch() : 96.0) / 25.4;
}

} // namespace

ReportPreviewDialog::ReportPreviewDialog(const ReportLayout& layout, QWidget* parent)
    : QDialog(parent), m_layout(layout), m_printer(std::make_unique<QPrinter>(QPrinter::HighResolution))
{
    ensureReportFonts();
    setObjectName(QStringLiteral("ReportPreview"));
    setWindowTitle(QStringLiteral("打印预览"));
    const ReportPageSettings& settings = layout.settings();
    m_printer->setPageLayout(paperLayout(settings));
    m_printer->setFullPage(true);
    m_printer->setCopyCount(settings.copies);
    m_printer->setDuplex(QPrinter::DuplexNone);
    m_printer->setPrintRange(QPrinter::AllPages);
    m_printer->setPaperSource(QPrinter::Auto);
    m_printer->setDocName(settings.title);

    auto* toolBar = new QToolBar(this);
    toolBar->setObjectName(QStringLiteral("PreviewToolBar"));
    const auto action = [this, toolBar](const char* name, const QString& text, auto slot) {
        QAction* a = toolBar->addAction(text);
        a->setObjectName(QString::fromLatin1(name));
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    action("WholePageAction", QStringLiteral("整页"), [this] { setZoom(Zoom::WholePage); });
    action("ActualSizeAction", QStringLiteral("100%"), [this] { setZoom(Zoom::Factor, 1.0); });
    action("PageWidthAction", QStringLiteral("页宽"), [this] { setZoom(Zoom::PageWidth); });
    action("ZoomInAction", QStringLiteral("放大"),
           [this] { setZoom(Zoom::Factor, scale() / screenDotsPerMm(this) * 1.25); });
    action("ZoomOutAction", QStringLiteral("缩小"),
           [this] { setZoom(Zoom::Factor, scale() / screenDotsPerMm(this) / 1.25); });
    toolBar->addSeparator();
    action("FirstPageAction", QStringLiteral("首页"), [this] { setCurrentPage(1); });
    action("PreviousPageAction", QStringLiteral("上一页"), [this] { setCurrentPage(m_page - 1); });
    m_pageEdit = new QSpinBox(toolBar);
    m_pageEdit->setObjectName(QStringLiteral("PageEdit"));
    m_pageEdit->setRange(1, std::max(1, pageCount()));
    m_pageEdit->setKeyboardTracking(false);
    toolBar->addWidget(m_pageEdit);
    m_pageTotal = new QLabel(QStringLiteral(" / %1 ").arg(pageCount()), toolBar);
    toolBar->addWidget(m_pageTotal);
    connect(m_pageEdit, &QSpinBox::valueChanged, this, [this](int page) { setCurrentPage(page); });
    action("NextPageAction", QStringLiteral("下一页"), [this] { setCurrentPage(m_page + 1); });
    action("LastPageAction", QStringLiteral("末页"), [this] { setCurrentPage(pageCount()); });
    toolBar->addSeparator();
    action("PageSetupAction", QStringLiteral("页面设置"), [this] { pageSetup(); });
    action("PrintAction", QStringLiteral("打印"), [this] { print(); });
    QAction* save = action("SavePdfAction", QStringLiteral("保存为PDF"), [this] { saveReportPdfAs(m_layout, this); });
    save->setToolTip(QStringLiteral("将报表保存为PDF文件"));
    action("ClosePreviewAction", QStringLiteral("关闭"), [this] { reject(); });

    m_view = new QLabel;
    m_view->setObjectName(QStringLiteral("PageView"));
    m_view->setAlignment(Qt::AlignCenter);
    m_scroll = new QScrollArea(this);
    m_scroll->setObjectName(QStringLiteral("PageArea"));
    m_scroll->setAlignment(Qt::AlignCenter);
    m_scroll->setBackgroundRole(QPalette::Dark);
    m_scroll->setWidget(m_view);

    auto* layoutBox = new QVBoxLayout(this);
    layoutBox->setContentsMargins(0, 0, 0, 0);
    layoutBox->setSpacing(0);
    layoutBox->addWidget(toolBar);
    layoutBox->addWidget(m_scroll, 1);

    // Large by default: the whole screen where a window manager maximizes, most of it otherwise.
    if (const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen())
        resize(screen->availableGeometry().size() * 0.9);
    setWindowState(windowState() | Qt::WindowMaximized);
    render();
}

ReportPreviewDialog::~ReportPreviewDialog() = default;

int ReportPreviewDialog::pageCount() const
{
    return m_layout.pageCount();
}

void ReportPreviewDialog::setCurrentPage(int page)
{
    page = std::clamp(page, 1, std::max(1, pageCount()));
    if (page == m_page)
        return;
    m_page = page;
    render();
}

void ReportPreviewDialog::setZoom(Zoom mode, double factor)
{
    m_zoom = mode;
    m_factor = std::clamp(factor, 0.1, 8.0);
    render();
}

double ReportPreviewDialog::scale() const
{
    const QSizeF paper = m_layout.paperSize();
    const QSize area = m_scroll->viewport()->size() - QSize(16, 16);
    switch (m_zoom) {
    case Zoom::WholePage: return std::max(0.5, std::min(area.width() / paper.width(), area.height() / paper.height()));
    case Zoom::PageWidth: return std::max(0.5, area.width() / paper.width());
    case Zoom::Factor: break;
    }
    return screenDotsPerMm(this) * m_factor;
}

// Paints the page in view, and only it, at the zoom in use.
void ReportPreviewDialog::render()
{
    {
        const QSignalBlocker quiet(m_pageEdit);
        m_pageEdit->setValue(m_page);
    }
    const double dotsPerMm = scale();
    const QSizeF paper = m_layout.paperSize();
    QImage image(QSize(int(paper.width() * dotsPerMm), int(paper.height() * dotsPerMm)), QImage::Format_RGB32);
    // The image's resolution is the zoom's, so that text grows and shrinks with the page as on
    // paper; at the default screen resolution a label would keep its size and run into the
    // field beside it at any zoom below the screen's own.
    image.setDotsPerMeterX(qRound(dotsPerMm * 1000.0));
    image.setDotsPerMeterY(qRound(dotsPerMm * 1000.0));
    image.fill(Qt::white);
    if (pageCount() > 0) {
        QPainter painter(&image);
        paintReportPage(painter, m_layout.page(m_page - 1), dotsPerMm, dotsPerMm);
        ++m_painted;
    }
    m_view->setPixmap(QPixmap::fromImage(std::move(image)));
    m_view->adjustSize();
}

void ReportPreviewDialog::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    if (m_zoom != Zoom::Factor)
        render();
}

void ReportPreviewDialog::pageSetup()
{
    QPageSetupDialog dialog(m_printer.get(), this);
    dialog.exec();
}

void ReportPreviewDialog::print()
{
    QPrintDialog dialog(m_printer.get(), this);
    dialog.setMinMax(1, std::max(1, pageCount()));
    if (dialog.exec() != QDialog::Accepted)
        return;
    printReport(m_layout, m_printer.get());
}

void previewReport(const ReportLayout& layout, QWidget* parent)
{
    ReportPreviewDialog dialog(layout, parent);
    dialog.exec();
}

void Report::Preview(QWidget* parent)
{
    previewReport(Prepare(), parent);
}

bool Report::SaveToPdf(const QString& path, QString* error)
{
    return writeReportPdf(Prepare(), path, error);
}

} // namespace toolkit
