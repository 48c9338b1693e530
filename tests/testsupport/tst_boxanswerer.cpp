#include "testsupport/BoxAnswerer.h"

#include <QApplication>
#include <QProcess>
#include <QtTest>

#include <memory>

using testsupport::BoxAnswerer;

// Test functions that let a box through in the ways a test can; each must fail. The executable
// runs them in a child process of itself ("--strays") and reads the results.
class Strays : public QObject {
    Q_OBJECT
private slots:
    void init() { m_boxes = std::make_unique<BoxAnswerer>(); }
    void cleanup() { m_boxes.reset(); }

    void infoBoxNeverChecked() { toolkit::ShowInfo(QStringLiteral("保存成功")); }
    void errorBoxNeverChecked() { toolkit::ShowStop(QStringLiteral("操作数据表时出错")); }
    void questionWithoutAnswer() { toolkit::AskDelete(); }
    void otherBoxThanExpected()
    {
        m_boxes->expect(QStringLiteral("保存成功"));
        toolkit::ShowStop(QStringLiteral("操作数据表时出错"));
    }
    void expectedBoxNeverShown() { m_boxes->expect(QStringLiteral("保存成功")); }
    void answerQueuedButNeverUsed() { m_boxes->queueAnswer(QMessageBox::Yes); }
    void secondBoxNeverChecked()
    {
        toolkit::ShowInfo(QStringLiteral("一"));
        QCOMPARE(m_boxes->takeTexts(), QStringList{QStringLiteral("一")});
        toolkit::ShowInfo(QStringLiteral("二"));
    }

    // The ways to account for boxes: these pass.
    void expectedBoxesPass()
    {
        m_boxes->expect(QStringLiteral("是否确定要删除此数据?  "), QMessageBox::Yes);
        m_boxes->expect(
            QStringLiteral("a stop box"),
            [](const toolkit::MessageRequest& box) { return box.icon == toolkit::MsgIcon::Stop; }, QMessageBox::Ok);
        QVERIFY(toolkit::AskDelete());
        toolkit::ShowStop(QStringLiteral("错误"));
    }
    void takenBoxesPass()
    {
        m_boxes->queueAnswer(QMessageBox::No);
        QVERIFY(!toolkit::AskDelete());
        toolkit::ShowInfo(QStringLiteral("保存成功"));
        QCOMPARE(m_boxes->takeTexts(), (QStringList{QStringLiteral("是否确定要删除此数据?  "), "保存成功"}));
    }

private:
    std::unique_ptr<BoxAnswerer> m_boxes;
};

class TestBoxAnswerer : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void strayBoxFailsItsTest_data();
    void strayBoxFailsItsTest();

private:
    QString m_output;
};

void TestBoxAnswerer::initTestCase()
{
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--strays")});
    QVERIFY(child.waitForFinished(60000));
    m_output = QString::fromUtf8(child.readAllStandardOutput());
    QVERIFY2(child.exitCode() != 0, qPrintable(m_output));
}

void TestBoxAnswerer::strayBoxFailsItsTest_data()
{
    QTest::addColumn<QString>("function");
    QTest::addColumn<bool>("passes");
    for (const char* name :
         {"infoBoxNeverChecked", "errorBoxNeverChecked", "questionWithoutAnswer", "otherBoxThanExpected",
          "expectedBoxNeverShown", "answerQueuedButNeverUsed", "secondBoxNeverChecked"})
        QTest::newRow(name) << QString::fromLatin1(name) << false;
    QTest::newRow("expectedBoxesPass") << "expectedBoxesPass" << true;
    QTest::newRow("takenBoxesPass") << "takenBoxesPass" << true;
}

void TestBoxAnswerer::strayBoxFailsItsTest()
{
    QFETCH(QString, function);
    QFETCH(bool, passes);
    const QString line = QStringLiteral(": Strays::%1()").arg(function);
    const QString pass = QStringLiteral("PASS   ") + line;
    const QString fail = QStringLiteral("FAIL!  ") + line;
    QVERIFY2(m_output.contains(passes ? pass : fail), qPrintable(m_output));
    QVERIFY2(!m_output.contains(passes ? fail : pass), qPrintable(m_output));
}

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (app.arguments().contains(QStringLiteral("--strays"))) {
        Strays strays;
        return QTest::qExec(&strays, QStringList{app.arguments().first()});
    }
    TestBoxAnswerer test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_boxanswerer.moc"
