// Saves pictures of the query window over sample data of a workshop into the folder given as the
// first argument: the page "按员工查询" listing every record, the second page of its report's preview
// and the pages "工资月度统计" (with the first page of the previous month's wage slips) and
// "超产品件数" (all months); for a person
// to look at (run under Xvfb with the xcb platform).

#include "SampleData.h"
#include "data/DataModule.h"
#include "reports/Query.h"
#include "reports/Report.h"
#include "reports/Slip.h"
#include "testsupport/Shots.h"
#include "testsupport/TestProgramDir.h"
#include "toolkit/ReportPreview.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include <cstdio>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    testsupport::useProgramFont(app);
    const QString folder = testsupport::picturesFolder(argc, argv);

    testsupport::TestProgramDir dir;
    dir.registerDataSource();
    sample::Options options;
    options.rows = 20000;
    options.months = 3;
    QString error;
    if (!sample::createSampleDatabase(dir.dbPath(), options, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    TDM dm;
    auto* form = new TQueryForm;
    form->show();
    form->RzPage->setCurrentIndex(3);
    form->RzPage->setCurrentIndex(0);
    QTest::qWait(300);
    form->grab().save(QDir(folder).filePath(QStringLiteral("query_page0.png")));
    {
        const toolkit::ReportLayout layout = TQuickReport::instance()->Prepare();
        toolkit::ReportPreviewDialog preview(layout);
        preview.setWindowState(Qt::WindowNoState);
        preview.resize(900, 1000);
        preview.show();
        QTest::qWait(300);
        preview.findChild<QAction*>(QStringLiteral("NextPageAction"))->trigger();
        QTest::qWait(100);
        preview.grab().save(QDir(folder).filePath(QStringLiteral("query_preview.png")));
    }
    form->RzPage->setCurrentIndex(5);
    QTest::qWait(300);
    form->grab().save(QDir(folder).filePath(QStringLiteral("query_page5.png")));
    // Three styles with small piece counts, so that steps go past them.
    testsupport::execSql(dir.dbPath(), QStringLiteral("UPDATE Product SET ProductCount=300 WHERE Id<=3"));
    form->RzPage->setCurrentIndex(6);
    form->AllMonths_Check->setChecked(true);
    form->OverClaim_search->click();
    QTest::qWait(300);
    form->grab().save(QDir(folder).filePath(QStringLiteral("query_overclaim.png")));
    // The previous month: its prices are applied.
    if (TSlipReport::instance()->load(QDate::currentDate().addMonths(-1))) {
        const toolkit::ReportLayout layout = TSlipReport::instance()->Prepare();
        toolkit::ReportPreviewDialog preview(layout);
        preview.setWindowState(Qt::WindowNoState);
        preview.resize(900, 1000);
        preview.show();
        QTest::qWait(300);
        preview.setZoom(toolkit::ReportPreviewDialog::Zoom::PageWidth);
        QTest::qWait(100);
        preview.grab().save(QDir(folder).filePath(QStringLiteral("query_slips.png")));
    }
    delete form;
    return 0;
}
