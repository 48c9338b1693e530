#include "toolkit/DisplayMask.h"

#include <QtTest>

// The yuan mask as lists and printed reports show amounts.
class DisplayMaskTest : public QObject {
    Q_OBJECT
private slots:
    void yuanMask_data();
    void yuanMask();
};

void DisplayMaskTest::yuanMask_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero") << QVariant(0.0) << "￥0.000";
    QTest::newRow("thousands") << QVariant(1234.5) << "￥1,234.500";
    QTest::newRow("half of the last place") << QVariant(0.0005) << "￥0.001";
    QTest::newRow("negative") << QVariant(-3.25) << "-￥3.250";
    QTest::newRow("millions") << QVariant(1234567.891) << "￥1,234,567.891";
    QTest::newRow("rounding carries into a new group") << QVariant(999.9995) << "￥1,000.000";
    QTest::newRow("negative rounding to zero") << QVariant(-0.0004) << "￥0.000";
    QTest::newRow("whole number") << QVariant(qlonglong(27)) << "￥27.000";
    QTest::newRow("null") << QVariant() << "";
}

void DisplayMaskTest::yuanMask()
{
    QFETCH(QVariant, value);
    QFETCH(QString, text);
    QCOMPARE(toolkit::applyDisplayMask(value, toolkit::kYuanMask), text);
    if (value.isValid())
        QCOMPARE(toolkit::formatNumber(value.toDouble(), toolkit::kYuanMask), text);
}

QTEST_MAIN(DisplayMaskTest)
#include "DisplayMaskTest.moc"
