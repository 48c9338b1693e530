#include "toolkit/DisplayMask.h"

#include <QtTest>

#include <limits>

// The masks of lists, footers and printed reports, as the user reads the numbers.
class DisplayMaskTest : public QObject {
    Q_OBJECT
private slots:
    void numberMasks_data();
    void numberMasks();
    void numbersWithoutMask_data();
    void numbersWithoutMask();
};

void DisplayMaskTest::numberMasks_data()
{
    QTest::addColumn<QString>("mask");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("text");
    const QString whole = QStringLiteral("0");
    const QString upTo3 = QStringLiteral("0.###");
    const QString cents = QStringLiteral("#,##0.00");
    const QString yuan = toolkit::kYuanMask;

    QTest::newRow("0: half rounds up") << whole << QVariant(2.5) << "3";
    QTest::newRow("0: negative half rounds away from zero") << whole << QVariant(-2.5) << "-3";
    QTest::newRow("0: just below a half") << whole << QVariant(2.4999) << "2";
    QTest::newRow("0: zero") << whole << QVariant(0.0) << "0";
    QTest::newRow("0: negative zero") << whole << QVariant(-0.0) << "0";
    QTest::newRow("0: no grouping") << whole << QVariant(1234567.0) << "1234567";
    QTest::newRow("0: whole number past 15 digits")
        << whole << QVariant(qlonglong(9007199254740993)) << "9007199254740993";
    QTest::newRow("0: smallest whole number")
        << whole << QVariant(std::numeric_limits<qlonglong>::min()) << "-9223372036854775808";
    QTest::newRow("0: empty") << whole << QVariant() << "";

    QTest::newRow("0.###: all three decimals") << upTo3 << QVariant(0.125) << "0.125";
    QTest::newRow("0.###: trailing zeros dropped") << upTo3 << QVariant(1.5) << "1.5";
    QTest::newRow("0.###: whole number has no point") << upTo3 << QVariant(27.0) << "27";
    QTest::newRow("0.###: binary half rounds up") << upTo3 << QVariant(1.0005) << "1.001";
    QTest::newRow("0.###: sum error does not show") << upTo3 << QVariant(0.1 + 0.2) << "0.3";
    QTest::newRow("0.###: rounds to whole") << upTo3 << QVariant(2.9996) << "3";
    QTest::newRow("0.###: negative") << upTo3 << QVariant(-0.125) << "-0.125";
    QTest::newRow("0.###: tiny negative is zero") << upTo3 << QVariant(-0.0004) << "0";
    QTest::newRow("0.###: number held as text") << upTo3 << QVariant(QStringLiteral("12.3456")) << "12.346";
    QTest::newRow("0.###: empty") << upTo3 << QVariant() << "";

    QTest::newRow("#,##0.00: grouping and cents") << cents << QVariant(1234567.005) << "1,234,567.01";
    QTest::newRow("#,##0.00: below a thousand") << cents << QVariant(999.994) << "999.99";
    QTest::newRow("#,##0.00: carry into a new group") << cents << QVariant(999.995) << "1,000.00";
    QTest::newRow("#,##0.00: negative") << cents << QVariant(-1234.5) << "-1,234.50";
    QTest::newRow("#,##0.00: zero") << cents << QVariant(0.0) << "0.00";
    QTest::newRow("#,##0.00: below one") << cents << QVariant(0.07) << "0.07";
    QTest::newRow("#,##0.00: whole number") << cents << QVariant(qlonglong(-1000000)) << "-1,000,000.00";
    QTest::newRow("#,##0.00: double just below the half") << cents << QVariant(8.325) << "8.33";
    QTest::newRow("#,##0.00: product just above the half") << cents << QVariant(27.69 * 2.5) << "69.23";
    QTest::newRow("#,##0.00: empty") << cents << QVariant() << "";

    QTest::newRow("yuan: zero") << yuan << QVariant(0.0) << "￥0.000";
    QTest::newRow("yuan: thousands") << yuan << QVariant(1234.5) << "￥1,234.500";
    QTest::newRow("yuan: half of the last place") << yuan << QVariant(0.0005) << "￥0.001";
    QTest::newRow("yuan: negative") << yuan << QVariant(-3.25) << "-￥3.250";
    QTest::newRow("yuan: negative half") << yuan << QVariant(-1.0005) << "-￥1.001";
    QTest::newRow("yuan: millions, half up") << yuan << QVariant(1234567.8915) << "￥1,234,567.892";
    QTest::newRow("yuan: large total") << yuan << QVariant(987654321012.3456) << "￥987,654,321,012.346";
    QTest::newRow("yuan: carry into a new group") << yuan << QVariant(999.9995) << "￥1,000.000";
    QTest::newRow("yuan: negative rounding to zero") << yuan << QVariant(-0.0004) << "￥0.000";
    QTest::newRow("yuan: whole number") << yuan << QVariant(qlonglong(27)) << "￥27.000";
    QTest::newRow("yuan: product of a price and a count") << yuan << QVariant(27.69 * 2.5) << "￥69.225";
    QTest::newRow("yuan: negative, double above the half") << yuan << QVariant(-2.0005) << "-￥2.001";
    QTest::newRow("yuan: empty") << yuan << QVariant() << "";
}

void DisplayMaskTest::numberMasks()
{
    QFETCH(QString, mask);
    QFETCH(QVariant, value);
    QFETCH(QString, text);
    QCOMPARE(toolkit::applyDisplayMask(value, mask), text);
    if (value.typeId() == QMetaType::Double)
        QCOMPARE(toolkit::formatNumber(value.toDouble(), mask), text);
}

void DisplayMaskTest::numbersWithoutMask_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("millions with decimals") << QVariant(1234567.8915) << "1234567.8915";
    QTest::newRow("large total, no exponent") << QVariant(1e16) << "10000000000000000";
    QTest::newRow("small, no exponent") << QVariant(-1e-7) << "-0.0000001";
    QTest::newRow("sum error does not show") << QVariant(0.1 + 0.2) << "0.3";
    QTest::newRow("whole") << QVariant(12.0) << "12";
    QTest::newRow("not a number") << QVariant(std::numeric_limits<double>::quiet_NaN()) << "";
    QTest::newRow("empty") << QVariant() << "";
}

void DisplayMaskTest::numbersWithoutMask()
{
    QFETCH(QVariant, value);
    QFETCH(QString, text);
    QCOMPARE(toolkit::applyDisplayMask(value, QString()), text);
}

QTEST_MAIN(DisplayMaskTest)
#include "tst_displaymask.moc"
