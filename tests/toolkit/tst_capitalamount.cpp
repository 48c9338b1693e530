#include "toolkit/CapitalAmount.h"

#include <QTest>

// The amount in capital numerals on a wage slip: places, zeros between digits and groups, 角 and 分,
// and the rounding to the fen.
class TestCapitalAmount : public QObject {
    Q_OBJECT
private slots:
    void writesTheAmount_data();
    void writesTheAmount();
};

void TestCapitalAmount::writesTheAmount_data()
{
    QTest::addColumn<double>("yuan");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero") << 0.0 << QStringLiteral("零圆整");
    QTest::newRow("fen only") << 0.05 << QStringLiteral("伍分");
    QTest::newRow("jiao, no fen") << 10.10 << QStringLiteral("壹拾圆壹角整");
    QTest::newRow("half a fen rounds up") << 100000.005 << QStringLiteral("壹拾万圆零壹分");
    QTest::newRow("below half a fen") << 0.004 << QStringLiteral("零圆整");
    QTest::newRow("zero inside a group") << 1001.01 << QStringLiteral("壹仟零壹圆零壹分");
    QTest::newRow("zero between groups") << 10005.5 << QStringLiteral("壹万零伍圆伍角整");
    QTest::newRow("tens after a group") << 10010.0 << QStringLiteral("壹万零壹拾圆整");
    QTest::newRow("large wage") << 12345678.9 << QStringLiteral("壹仟贰佰叁拾肆万伍仟陆佰柒拾捌圆玖角整");
    QTest::newRow("hundred millions") << 100010000.0 << QStringLiteral("壹亿零壹万圆整");
    QTest::newRow("negative") << -3.2 << QStringLiteral("负叁圆贰角整");
}

void TestCapitalAmount::writesTheAmount()
{
    QFETCH(double, yuan);
    QFETCH(QString, text);
    QCOMPARE(toolkit::capitalAmount(yuan), text);
}

QTEST_GUILESS_MAIN(TestCapitalAmount)
#include "tst_capitalamount.moc"
