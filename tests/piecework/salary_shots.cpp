// Saves pictures of the piece-work entry window over a few thousand sample records into the folder
// given as the first argument: as opened, with a record clicked under a date sort, and the question
// before a save that takes a step past its style's piece count; for a person to look at (run under
// Xvfb with the xcb platform).

#include "SampleData.h"
#include "data/DataModule.h"
#include "piecework/Salary.h"
#include "testsupport/Shots.h"
#include "testsupport/TestProgramDir.h"
#include "toolkit/DataGrid.h"
#include "toolkit/MessageBox.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
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

    // A new record beside the clicked one, of its style and step, which a small piece count makes too
    // many.
    testsupport::execSql(dir.dbPath(), QStringLiteral("UPDATE Product SET ProductCount=100 WHERE Kind=?"),
                         {form->Kind_ComboBox->currentText()});
    form->ProcessCount->setText(QStringLiteral("30"));
    toolkit::setMessageAnswerer([&folder, form](const toolkit::MessageRequest& request) {
        const auto box = toolkit::MakeMessageBox(request, form);
        box->show();
        QTest::qWait(200);
        box->grab().save(QDir(folder).filePath(QStringLiteral("salary_overclaim.png")));
        return QMessageBox::No;
    });
    form->cmdadd->click();
    toolkit::setMessageAnswerer({});
    delete form;
    return 0;
}
