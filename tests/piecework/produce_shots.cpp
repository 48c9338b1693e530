// Saves a picture of each tab of the product window, filled with a few styles and steps, into the
// folder given as the first argument; for a person to look at (run under Xvfb with the xcb
// platform).

#include "data/DataModule.h"
#include "piecework/Produce.h"
#include "testsupport/Shots.h"
#include "testsupport/TestProgramDir.h"
#include "toolkit/DataGrid.h"

#include <QApplication>
#include <QDir>
#include <QTabWidget>
#include <QTest>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    testsupport::useProgramFont(app);
    const QString folder = testsupport::picturesFolder(argc, argv);

    testsupport::TestProgramDir dir;
    dir.prepareDatabase();
    const char* styles[][4] = {{"A1001", "男式衬衫", "1500", "2004-03-02"},
                               {"A1002", "女式长裤", "800", "2004-03-09"},
                               {"B2001", "儿童外套", "1200", "2004-04-01"}};
    const char* steps[] = {"裁剪", "锁边", "缝合", "上领", "钉扣", "熨烫"};
    for (const auto& style : styles) {
        testsupport::execSql(dir.dbPath(),
                             QStringLiteral("INSERT INTO Product (Kind, Process, KindName, ProductCount, ProductDate) "
                                            "VALUES (?, 6, ?, ?, ?)"),
                             {QString::fromUtf8(style[0]), QString::fromUtf8(style[1]), QString::fromUtf8(style[2]),
                              QString::fromUtf8(style[3])});
        for (int i = 0; i < 6; ++i)
            testsupport::execSql(dir.dbPath(),
                                 QStringLiteral("INSERT INTO Process (Process, ProcessName, ProductId, Price) "
                                                "VALUES (?, ?, ?, ?)"),
                                 {QStringLiteral("工序%1").arg(i + 1), QString::fromUtf8(steps[i]),
                                  QString::fromUtf8(style[0]), i == 5 ? QVariant() : QVariant(0.35 + i * 1.125)});
    }
    TDM dm;
    auto* form = new TProduceForm;
    form->show();
    QTest::qWait(200);
    form->grab().save(QDir(folder).filePath(QStringLiteral("produce_styles.png")));

    const QRect cell = form->ProductGrid->visualRect(form->ProductGrid->model()->index(1, 1));
    QTest::mouseClick(form->ProductGrid->viewport(), Qt::LeftButton, {}, cell.center());
    form->RzPage->setCurrentWidget(form->ProcessSheet);
    QTest::qWait(200);
    form->grab().save(QDir(folder).filePath(QStringLiteral("produce_steps.png")));
    delete form;
    return 0;
}
