// Saves pictures of the piece-work entry window over a few thousand sample records into the folder
// given as the first argument: as opened, and with a record clicked under a date sort; for a person
// to look at (run under Xvfb with the xcb platform).

#include "SampleData.h"
#include "data/DataModule.h"
#include "piecework/Salary.h"
#include "testsupport/Shots.h"
#include "testsupport/TestProgramDir.h"
#include "toolkit/DataGrid.h"

#include <QApplication>
#include <QDir>
#include <QTest>

#include <cstdio>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    testsupport::useProgramFont(app);
    const QString folder = testsupport::picturesFolder(argc, argv);

    testsupport::TestProgramDir dir;
    sample::Options options;
    options.rows = 3000;
    options.months = 2;
    QString error;
    if (!sample::createSampleDatabase(dir.dbPath(), options, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    dir.registerDataSource();
    TDM dm;
    auto* form = new TDataAddForm;
    form->show();
    QTest::qWait(200);
    form->grab().save(QDir(folder).filePath(QStringLiteral("salary_open.png")));

    form->SalaryGrid->titleClick(9);
    const QRect cell = form->SalaryGrid->visualRect(form->SalaryGrid->model()->index(2, 3));
    QTest::mouseClick(form->SalaryGrid->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::qWait(200);
    form->grab().save(QDir(folder).filePath(QStringLiteral("salary_clicked.png")));
    delete form;
    return 0;
}
