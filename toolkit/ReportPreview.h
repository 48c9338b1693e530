#pragma once

#include "toolkit/ReportEngine.h"

#include <QDialog>

#include <memory>

class QLabel;
class QPagedPaintDevice;
class QScrollArea;
class QSpinBox;
class QPainter;
class QPrinter;
class QWidget;

namespace toolkit {

// Maps the report face 宋体 to the installed Song faces unless the program already did.
void ensureReportFonts();

// Paints one page of a layout. The painter's device coordinates start at the paper's top-left
// corner; dotsPerMm is the device's resolution.
void paintReportPage(QPainter& painter, const ReportPage& page, double dotsPerMmX, double dotsPerMmY);

// Paints the pages of a layout on a paged device (PDF writer or printer), one device page for
// each report page, from the paper's corner. A printer's chosen page range is respected.
bool paintReport(const ReportLayout& layout, QPagedPaintDevice* device);

// Paints the layout on a printer; when the printer cannot be used, says so in the stop box.
bool printReport(const ReportLayout& layout, QPrinter* printer);
inline const QString kPrintFailedText = QStringLiteral("打印时出错, 请检查打印机设置!");

// What the preview does on every repaint: paints the layout on the preview's printer. A printer
// that cannot be used is reported once, not on every repaint; after a good paint the next failure
// is reported again.
class PreviewPainter {
public:
    explicit PreviewPainter(const ReportLayout& layout) : m_layout(layout) {}
    bool paint(QPrinter* printer);

private:
    const ReportLayout& m_layout;
    bool m_failureShown = false;
};

// Writes the layout as a PDF file; false with a reason when the file cannot be written. The file is
// written beside the target and put in place only complete, so a failure leaves a former file as it was.
bool writeReportPdf(const ReportLayout& layout, const QString& path, QString* error = nullptr);

// Asks for a file name and writes the layout there as PDF; a failure is reported in a box.
void saveReportPdfAs(const ReportLayout& layout, QWidget* parent);

// The print preview of a layout: zoom (whole page, 100 %, page width, in and out), first,
// previous, next and last page, page set-up, print, save as PDF and close. Returns when closed.
void previewReport(const ReportLayout& layout, QWidget* parent = nullptr);

// Object names of the preview's own actions.
inline const QString kPreviewSavePdfAction = QStringLiteral("SavePdfAction");
inline const QString kPreviewCloseAction = QStringLiteral("ClosePreviewAction");

// The preview window: one page at a time, painted when it is shown, so that a report of a thousand
// pages opens at once and takes no more memory than the page in view.
class ReportPreviewDialog : public QDialog {
    Q_OBJECT
public:
    explicit ReportPreviewDialog(const ReportLayout& layout, QWidget* parent = nullptr);
    ~ReportPreviewDialog() override;

    int pageCount() const;
    int currentPage() const { return m_page; } // 1-based
    void setCurrentPage(int page);             // kept within the first and the last page
    enum class Zoom { WholePage, PageWidth, Factor };
    void setZoom(Zoom mode, double factor = 1.0);
    // Pages painted since the preview opened (for the first page and each page turned to).
    int paintedPages() const { return m_painted; }
    QPrinter* printer() const { return m_printer.get(); }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void render();
    double scale() const; // screen pixels per millimetre
    void print();
    void pageSetup();

    const ReportLayout& m_layout;
    std::unique_ptr<QPrinter> m_printer;
    QScrollArea* m_scroll;
    QLabel* m_view;
    QSpinBox* m_pageEdit;
    QLabel* m_pageTotal;
    int m_page = 1;
    Zoom m_zoom = Zoom::WholePage;
    double m_factor = 1.0;
    int m_painted = 0;
};

} // namespace toolkit
