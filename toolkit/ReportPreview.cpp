#include "toolkit/ReportPreview.h"

#include "toolkit/MessageBox.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFont>
#include <QGuiApplication>
#include <QPainter>
#include <QPdfWriter>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QScreen>
#include <QStandardPaths>
#include <QToolBar>

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
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
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
    file.close();
    if (!painted || file.error() != QFileDevice::NoError) {
        if (error)
            *error = painted ? file.errorString() : QStringLiteral("无法绘制报表");
        file.remove(); // no half-written file is left behind
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

void previewReport(const ReportLayout& layout, QWidget* parent)
{
    ensureReportFonts();
    const ReportPageSettings& settings = layout.settings();
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageLayout(paperLayout(settings));
    printer.setFullPage(true);
    printer.setCopyCount(settings.copies);
    printer.setDuplex(QPrinter::DuplexNone);
    printer.setPrintRange(QPrinter::AllPages);
    printer.setPaperSource(QPrinter::Auto);
    printer.setDocName(settings.title);

    QPrintPreviewDialog dialog(&printer, parent);
    dialog.setWindowTitle(QStringLiteral("打印预览"));
    PreviewPainter painter(layout);
    QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested,
                     [&painter](QPrinter* target) { painter.paint(target); });

    if (auto* toolBar = dialog.findChild<QToolBar*>()) {
        toolBar->addSeparator();
        QAction* save = toolBar->addAction(QStringLiteral("保存为PDF"));
        save->setObjectName(kPreviewSavePdfAction);
        save->setToolTip(QStringLiteral("将报表保存为PDF文件"));
        QObject::connect(save, &QAction::triggered, &dialog,
                         [&layout, &dialog]() { saveReportPdfAs(layout, &dialog); });
        QAction* close = toolBar->addAction(QStringLiteral("关闭"));
        close->setObjectName(kPreviewCloseAction);
        QObject::connect(close, &QAction::triggered, &dialog, &QDialog::reject);
    }
    // Large by default: the whole screen where a window manager maximizes, most of it otherwise.
    if (const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen())
        dialog.resize(screen->availableGeometry().size() * 0.9);
    dialog.setWindowState(dialog.windowState() | Qt::WindowMaximized);
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
