#include "data/Connection.h"
#include "data/DataSet.h"
#include "testsupport/TestProgramDir.h"

#include <QTest>

// The dataset keeps each distinct text once per column; whatever the mix of texts, lengths, empty
// texts and nulls, every value must come back exactly as the statement gave it.
class DataSetTextsTest : public QObject {
    Q_OBJECT
private slots:
    void textsComeBackAsStored();
};

namespace {

// The text the statement below gives for row i; a null QString for NULL. Rows come in equal pairs,
// runs of neighbours share a length but differ in content, and every text recurs further down.
QString expectedText(int i)
{
    const int j = (i % 6000) / 2;
    if (j % 11 == 0)
        return QString();
    if (j % 13 == 0)
        return QStringLiteral("");
    return QStringLiteral("工序零一二三四五六七八九abcdefgh").left((j / 7) % 19) + QString::number(1000 + j % 500);
}

} // namespace

void DataSetTextsTest::textsComeBackAsStored()
{
    testsupport::TestProgramDir dir;
    dir.prepareDatabase();
    data::Connection connection;
    data::DataSet set(QStringLiteral("Texts"), &connection);
    const int rows = 20000;
    set.setSql(QStringLiteral("WITH RECURSIVE n(i, j) AS (SELECT 0, 0 UNION ALL "
                              "SELECT i + 1, ((i + 1) % 6000) / 2 FROM n WHERE i < ?) "
                              "SELECT i, CASE WHEN j % 11 = 0 THEN NULL WHEN j % 13 = 0 THEN '' "
                              "ELSE substr('工序零一二三四五六七八九abcdefgh', 1, (j / 7) % 19) || (1000 + j % 500) "
                              "END AS t FROM n"),
               {rows - 1});
    QVERIFY2(set.open(), qPrintable(set.lastError().text));
    QCOMPARE(set.recordCount(), rows);
    for (int i = 0; i < rows; ++i) {
        const QString expected = expectedText(i);
        const QVariant v = set.value(i, 1);
        if (expected.isNull()) {
            QVERIFY2(!v.isValid() && set.isNull(i, 1), qPrintable(QString::number(i)));
        } else {
            QVERIFY2(v.isValid() && !set.isNull(i, 1), qPrintable(QString::number(i)));
            QCOMPARE(v.toString(), expected);
        }
    }

    // A value put in memory: a new text and one the column already holds.
    set.setValue(5, 1, QStringLiteral("新文本"));
    set.setValue(6, 1, expectedText(1));
    QCOMPARE(set.value(5, 1).toString(), QStringLiteral("新文本"));
    QCOMPARE(set.value(6, 1).toString(), expectedText(1));
    QCOMPARE(set.value(7, 1).toString(), expectedText(7));
}

QTEST_GUILESS_MAIN(DataSetTextsTest)
#include "tst_dataset_texts.moc"
