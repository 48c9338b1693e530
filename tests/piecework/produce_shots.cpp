// Saves a picture of each tab of the product window, filled with a few styles and steps, and of
// the price preview of a month of records, into the folder given as the first argument; for a person to look at (run
// under Xvfb with the xcb platform).

#include "data/DataModule.h"
#include "piecework/PricePreview.h"
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
    // A month of records: every worker on a few steps of the first two styles, some already priced
    // at older prices, some not yet.
    const char* workers[][3] = {{"缝纫一组", "1", "王秀英"}, {"缝纫一组", "2", "李娜"}, {"缝纫二组", "11", "张敏"},
                                {"缝纫二组", "12", "刘洋"},  {"后道组", "21", "陈静"},  {"缝纫一组", "3", "杨丽"}};
    for (int w = 0; w < 6; ++w)
        for (int i = 0; i < 5; ++i)
            testsupport::execSql(
                dir.dbPath(),
                QStringLiteral("INSERT INTO Salary (DeptName, MachineId, WorkerName, KindId, KindName, Process, "
                               "ProductCount, ProcessPrice, ProcessDate) VALUES (?, ?, ?, ?, '', ?, ?, ?, ?)"),
                {QString::fromUtf8(workers[w][0]), QString::fromUtf8(workers[w][1]), QString::fromUtf8(workers[w][2]),
                 QString::fromUtf8(styles[(w + i) % 2][0]), QStringLiteral("工序%1").arg((w + i) % 6 + 1),
                 40 + 13 * w + 7 * i, i % 3 == 0 ? QVariant() : QVariant(0.3 + 0.9 * i),
                 QStringLiteral("2004-03-%1").arg(2 + 4 * i + w, 2, 10, QLatin1Char('0'))});
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

    PricePreview preview;
    if (!PreviewMonthPrices(QDate(2004, 3, 1), &preview))
        return 1;
    TPricePreviewForm dialog(preview, QDate(2004, 3, 1));
    dialog.show();
    QTest::qWait(200);
    dialog.grab().save(QDir(folder).filePath(QStringLiteral("produce_preview.png")));
    return 0;
}
