#include "ReportFixture.h"

#include "reports/Month.h"
#include "reports/Report.h"
#include "testsupport/BoxAnswerer.h"
#include "toolkit/ReportPreview.h"

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QPrinter>
#include <QtTest>

#include <functional>
#include <memory>

using namespace reportfixture;

namespace {

// Runs work on the next modal window that opens (once the event loop turns).
void onModal(std::function<void(QWidget*)> work)
{
    QTimer::singleShot(0, [work]() {
        QWidget* modal = QApplication::activeModalWidget();
        work(modal);
    });
}

// The share of the page's width that ink covers between two heights (in millimetres) of the page
// shown in the preview.
double inkedShare(toolkit::ReportPreviewDialog* dialog, double topMm, double bottomMm, double paperHeightMm)
{
    const QImage page = dialog->findChild<QLabel*>(QStringLiteral("PageView"))->pixmap().toImage();
    const double dotsPerMm = page.height() / paperHeightMm;
    int left = page.width(), right = -1;
    for (int y = int(topMm * dotsPerMm); y < int(bottomMm * dotsPerMm); ++y)
        for (int x = 0; x < page.width(); ++x)
            if (qGray(page.pixel(x, y)) < 128) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
    return right < left ? 0.0 : double(right - left + 1) / page.width();
}

} // namespace

class ReportPreviewTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void previewShowsThePagesAndSavesPdf();
    void previewOfTheMonthlyReport();
    void previewPaintsOnlyThePagesLookedAt();
    void textScalesWithTheZoom();
    void printerFailureIsReported();
    void previewRepaintsReportAFailureOnce();

private:
    std::unique_ptr<testsupport::TestProgramDir> m_dir;
    std::unique_ptr<testsupport::BoxAnswerer> m_boxes;
    std::unique_ptr<TDM> m_dm;
};

void ReportPreviewTest::init()
{
    m_dir = std::make_unique<testsupport::TestProgramDir>();
    m_boxes = std::make_unique<testsupport::BoxAnswerer>();
    m_dir->prepareDatabase();
    m_dm = std::make_unique<TDM>();
}

void ReportPreviewTest::cleanup()
{
    m_dm.reset();
    m_boxes.reset();
    m_dir.reset();
}

void ReportPreviewTest::previewShowsThePagesAndSavesPdf()
{
    addRecords(m_dir->dbPath(), 40);
    QVERIFY(openDetail());
    const QString saved = m_dir->file(QStringLiteral("saved"));
    int pages = -1;
    int pageAfterLast = -1;
    bool fileDialogSeen = false;
    bool closed = false;
    onModal([&](QWidget* modal) {
        auto* dialog = qobject_cast<toolkit::ReportPreviewDialog*>(modal);
        if (!dialog)
            return;
        pages = dialog->pageCount();
        dialog->setCurrentPage(pages + 1);
        pageAfterLast = dialog->currentPage();
        auto* save = dialog->findChild<QAction*>(toolkit::kPreviewSavePdfAction);
        auto* close = dialog->findChild<QAction*>(toolkit::kPreviewCloseAction);
        if (!save || !close)
            return;
        onModal([&](QWidget* chooser) {
            auto* files = qobject_cast<QFileDialog*>(chooser);
            if (!files)
                return;
            fileDialogSeen = true;
            files->selectFile(saved);
            QMetaObject::invokeMethod(files, "accept");
        });
        save->trigger();
        close->trigger();
        closed = true;
    });
    TQuickReport::instance()->Preview();
    QVERIFY(closed);
    QCOMPARE(pages, 2);
    QCOMPARE(pageAfterLast, 2);
    QVERIFY(fileDialogSeen);
    // The chosen name gets the extension; the file is the report as PDF.
    QFile pdf(saved + QStringLiteral(".pdf"));
    QVERIFY(pdf.open(QIODevice::ReadOnly));
    QCOMPARE(pdf.read(5), QByteArray("%PDF-"));
    QVERIFY(pdf.size() > 10000);
}

void ReportPreviewTest::previewOfTheMonthlyReport()
{
    // A closed wage summary still previews as one page.
    int pages = -1;
    onModal([&](QWidget* modal) {
        auto* dialog = qobject_cast<toolkit::ReportPreviewDialog*>(modal);
        if (!dialog)
            return;
        pages = dialog->pageCount();
        dialog->reject();
    });
    TSalaryReport::instance()->Preview();
    QCOMPARE(pages, 1);
}

void ReportPreviewTest::previewPaintsOnlyThePagesLookedAt()
{
    addRecords(m_dir->dbPath(), 35 * 9 + 1); // ten pages
    QVERIFY(openDetail());
    int pages = -1, opening = -1, afterTurns = -1, current = -1, last = -1;
    onModal([&](QWidget* modal) {
        auto* dialog = qobject_cast<toolkit::ReportPreviewDialog*>(modal);
        if (!dialog)
            return;
        pages = dialog->pageCount();
        opening = dialog->paintedPages();
        dialog->findChild<QAction*>(QStringLiteral("NextPageAction"))->trigger();
        dialog->findChild<QAction*>(QStringLiteral("NextPageAction"))->trigger();
        current = dialog->currentPage();
        afterTurns = dialog->paintedPages();
        dialog->findChild<QAction*>(QStringLiteral("LastPageAction"))->trigger();
        last = dialog->currentPage();
        dialog->reject();
    });
    TQuickReport::instance()->Preview();
    QCOMPARE(pages, 10);
    // Opening paints the first page (again as the window takes its size), never the others.
    QVERIFY2(opening >= 1 && opening <= 3, qPrintable(QString::number(opening)));
    QCOMPARE(current, 3);
    QCOMPARE(afterTurns, opening + 2);
    QCOMPARE(last, 10);
}

// The title covers the same share of the page at every zoom, as on paper: text that kept its
// screen size made labels run into the fields beside them in the whole-page view.
void ReportPreviewTest::textScalesWithTheZoom()
{
    addRecords(m_dir->dbPath(), 3);
    QVERIFY(openDetail());
    QList<double> shares;
    onModal([&](QWidget* modal) {
        auto* dialog = qobject_cast<toolkit::ReportPreviewDialog*>(modal);
        if (!dialog)
            return;
        const double paperHeight = 297.0;
        for (const char* zoom : {"ActualSizeAction", "ZoomOutAction", "ZoomOutAction", "ZoomInAction"}) {
            dialog->findChild<QAction*>(QString::fromLatin1(zoom))->trigger();
            shares << inkedShare(dialog, 13.5, 20.8, paperHeight); // the title, under the 10 mm margin
        }
        dialog->reject();
    });
    TQuickReport::instance()->Preview();
    QCOMPARE(shares.size(), 4);
    QVERIFY2(shares[0] > 0.05, qPrintable(QString::number(shares[0])));
    for (double share : shares)
        QVERIFY2(std::abs(share - shares[0]) < 0.1 * shares[0],
                 qPrintable(QStringLiteral("%1 against %2").arg(share).arg(shares[0])));
}

void ReportPreviewTest::printerFailureIsReported()
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(m_dir->file(QStringLiteral("no-such-folder/out.pdf")));
    QVERIFY(!toolkit::printReport(TQuickReport::instance()->Prepare(), &printer));
    const QList<toolkit::MessageRequest> boxes = m_boxes->take();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].text, toolkit::kPrintFailedText);
    QCOMPARE(boxes[0].icon, toolkit::MsgIcon::Stop);
}

void ReportPreviewTest::previewRepaintsReportAFailureOnce()
{
    const toolkit::ReportLayout layout = TQuickReport::instance()->Prepare();
    QPrinter broken(QPrinter::HighResolution);
    broken.setOutputFormat(QPrinter::PdfFormat);
    broken.setOutputFileName(m_dir->file(QStringLiteral("no-such-folder/out.pdf")));
    QPrinter working(QPrinter::HighResolution);
    working.setOutputFormat(QPrinter::PdfFormat);
    working.setOutputFileName(m_dir->file(QStringLiteral("out.pdf")));

    toolkit::PreviewPainter painter(layout);
    for (int repaint = 0; repaint < 3; ++repaint)
        QVERIFY(!painter.paint(&broken));
    QCOMPARE(m_boxes->takeTexts(), QStringList{toolkit::kPrintFailedText});
    QVERIFY(painter.paint(&working));
    QVERIFY(m_boxes->take().isEmpty());
    // Failing again after a good paint is a new failure: reported once more.
    QVERIFY(!painter.paint(&broken));
    QVERIFY(!painter.paint(&broken));
    QCOMPARE(m_boxes->takeTexts(), QStringList{toolkit::kPrintFailedText});
}

QTEST_MAIN(ReportPreviewTest)
#include "tst_reportpreview.moc"
