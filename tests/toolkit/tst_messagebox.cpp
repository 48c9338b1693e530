#include "toolkit/MessageBox.h"

#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QTest>

// The box the toolkit builds is wide enough for its caption, whose width the box would otherwise
// take from its text alone.
class TestMessageBox : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // The program's face and size.
        QFont::insertSubstitutions(QStringLiteral("宋体"), {QStringLiteral("SimSun"), QStringLiteral("AR PL UMing CN"),
                                                            QStringLiteral("WenQuanYi Zen Hei")});
        QFont font(QStringLiteral("宋体"));
        font.setPointSize(9);
        QApplication::setFont(font);
    }

    void wideEnoughForTheCaption_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<int>("buttons");
        QTest::addColumn<int>("icon");
        QTest::newRow("refusal, short text")
            << QStringLiteral("好") << toolkit::kSystemCaption << int(QMessageBox::Ok) << int(toolkit::MsgIcon::Stop);
        QTest::newRow("question, no icon") << QStringLiteral("是否?") << toolkit::kSystemCaption
                                           << int(QMessageBox::Yes | QMessageBox::No) << int(toolkit::MsgIcon::None);
        QTest::newRow("long caption") << QStringLiteral("x") << QStringLiteral("操作数据表时出错，请检查数据源的设置")
                                      << int(QMessageBox::Ok) << int(toolkit::MsgIcon::Information);
    }
    void wideEnoughForTheCaption()
    {
        QFETCH(QString, text);
        QFETCH(QString, caption);
        QFETCH(int, buttons);
        QFETCH(int, icon);
        const std::unique_ptr<QMessageBox> box = toolkit::MakeMessageBox(
            {text, caption, QMessageBox::StandardButtons(buttons), toolkit::MsgIcon(icon)}, nullptr);
        box->show();
        QVERIFY(QTest::qWaitForWindowExposed(box.get()));
        QCOMPARE(box->windowTitle(), caption);
        QCOMPARE(box->text(), text);
        // The caption in the program's font, with room for the window icon and the close button.
        const int needed = QFontMetrics(QApplication::font()).horizontalAdvance(caption) + 100;
        QVERIFY2(box->width() >= needed, qPrintable(QStringLiteral("%1 < %2").arg(box->width()).arg(needed)));
        // The text still shows on one line.
        auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
        QVERIFY(label);
        QVERIFY(label->width() >= label->fontMetrics().horizontalAdvance(text));
    }
};

QTEST_MAIN(TestMessageBox)
#include "tst_messagebox.moc"
