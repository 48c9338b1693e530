#include "platform/AutoStart.h"
#include "platform/DbFileBlock.h"
#include "platform/ProfileFile.h"
#include "platform/RegistryStore.h"
#include "testsupport/TestProgramDir.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QTest>

using namespace platform;
using testsupport::TestProgramDir;

class TestPlatform : public QObject {
    Q_OBJECT
private slots:
    void registryKeysAndTypedValues();
    void registryRefusesWhenTheFileCannotBeWritten();
    void profileReadsDefaultsAndWritesInOrder();
    void profileKeepsOtherLinesAndReadsBadNumbersAsDefault();
    void dbBlocksReplaceOnlyEachOther_data();
    void dbBlocksReplaceOnlyEachOther();
    void dbBlockNeverCreatesAFile();
    void autostartEntryStartsTheProgram();
};

void TestPlatform::registryKeysAndTypedValues()
{
    TestProgramDir dir;
    const QString path = QStringLiteral("Software\\ODBC\\ODBC.INI\\Dorvik");
    QVERIFY(!RegistryStore::openKey(path, false));
    // The system's own Run key exists from the start, as on a real machine.
    QVERIFY(RegistryStore::openKey(QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Run"), false));

    auto key = RegistryStore::openKey(path, true);
    QVERIFY(key);
    QVERIFY(key->writeString(QStringLiteral("DBQ"), QStringLiteral("/x/DorvikSalary.mdb")));
    QVERIFY(key->writeDword(QStringLiteral("DriverId"), 25));
    QVERIFY(key->writeBinary(QStringLiteral("Exclusive"), QByteArray(1, '\0')));
    QVERIFY(key->writeString(QStringLiteral("dbq"), QStringLiteral("/y/DorvikSalary.mdb"))); // same value, other case

    // A later open, in another letter case, sees the values in the order first written.
    auto again = RegistryStore::openKey(path.toUpper(), false);
    QVERIFY(again);
    const QList<RegValue> values = again->values();
    QCOMPARE(values.size(), 3);
    QCOMPARE(values[0].name, QStringLiteral("dbq"));
    QCOMPARE(values[0].type, RegType::Sz);
    QCOMPARE(values[0].data.toString(), QStringLiteral("/y/DorvikSalary.mdb"));
    QCOMPARE(values[1].type, RegType::Dword);
    QCOMPARE(values[1].data.toUInt(), 25u);
    QCOMPARE(values[2].type, RegType::Binary);
    QCOMPARE(values[2].data.toByteArray(), QByteArray(1, '\0'));

    QVERIFY(again->deleteValue(QStringLiteral("DriverId")));
    QVERIFY(!again->valueExists(QStringLiteral("DriverId")));
    QVERIFY(!again->deleteValue(QStringLiteral("DriverId")));
}

void TestPlatform::registryRefusesWhenTheFileCannotBeWritten()
{
    TestProgramDir dir;
    // A plain file where the store's folder should be: nothing can be saved below it.
    QVERIFY(testsupport::writeFile(dir.file(QStringLiteral("blocked")), "x"));
    qputenv("DORVIK_REGISTRY", dir.file(QStringLiteral("blocked/registry.json")).toUtf8());
    QVERIFY(!RegistryStore::openKey(QStringLiteral("Software\\ODBC\\ODBC.INI\\Dorvik"), true));
    auto run = RegistryStore::openKey(QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Run"), false);
    QVERIFY(run);
    QVERIFY(!run->writeString(QStringLiteral("Dorvik"), QStringLiteral("/x/Dorvik")));
}

void TestPlatform::profileReadsDefaultsAndWritesInOrder()
{
    TestProgramDir dir;
    ProfileFile ini(dir.file(QStringLiteral("Config.ini")));
    QCOMPARE(ini.readInt(QStringLiteral("Dorvik"), QStringLiteral("AutoRun"), 7), 7);
    QVERIFY(!QFile::exists(ini.path()));

    QVERIFY(ini.writeInt(QStringLiteral("Dorvik"), QStringLiteral("AutoRun"), 1));
    QVERIFY(ini.writeInt(QStringLiteral("Dorvik"), QStringLiteral("CreateConfig"), 1));
    QVERIFY(ini.writeInt(QStringLiteral("Dorvik"), QStringLiteral("autorun"), 2));
    QVERIFY(ini.writeInt(QStringLiteral("Other"), QStringLiteral("X"), 5));
    QVERIFY(ini.writeInt(QStringLiteral("Dorvik"), QStringLiteral("CreateDns"), 1));
    QCOMPARE(testsupport::readFile(ini.path()),
             QByteArray("[Dorvik]\r\nAutoRun=2\r\nCreateConfig=1\r\nCreateDns=1\r\n[Other]\r\nX=5\r\n"));
    QCOMPARE(ini.readInt(QStringLiteral("dorvik"), QStringLiteral("AUTORUN"), 0), 2);
    QCOMPARE(ini.readInt(QStringLiteral("Other"), QStringLiteral("X"), 0), 5);
}

void TestPlatform::profileKeepsOtherLinesAndReadsBadNumbersAsDefault()
{
    TestProgramDir dir;
    const QString path = dir.file(QStringLiteral("Config.ini"));
    QVERIFY(testsupport::writeFile(path, "; note\n[Dorvik]\nAutoRun=abc\nCreateDns= 3 \n\n[Tail]\nY=1\n"));
    ProfileFile ini(path);
    QCOMPARE(ini.readInt(QStringLiteral("Dorvik"), QStringLiteral("AutoRun"), 9), 9);
    QCOMPARE(ini.readInt(QStringLiteral("Dorvik"), QStringLiteral("CreateDns"), 0), 3);
    QVERIFY(ini.writeInt(QStringLiteral("Dorvik"), QStringLiteral("CreateConfig"), 1));
    QCOMPARE(
        testsupport::readFile(path),
        QByteArray("; note\r\n[Dorvik]\r\nAutoRun=abc\r\nCreateDns= 3 \r\nCreateConfig=1\r\n\r\n[Tail]\r\nY=1\r\n"));
}

void TestPlatform::dbBlocksReplaceOnlyEachOther_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("block");
    QTest::addColumn<bool>("written");
    const QByteArray header = databaseHeaderBlock();
    const QByteArray marker = closingMarkerBlock();
    const QByteArray jet = QByteArray("\x00\x01\x00\x00Standard Jet", 16);
    QTest::newRow("marker over header") << header << marker << true;
    QTest::newRow("header over marker") << marker << header << true;
    QTest::newRow("header over header") << header << header << true;
    QTest::newRow("other file kept") << jet << header << false;
    QTest::newRow("short file kept") << QByteArray("QZ") << header << false;
}

void TestPlatform::dbBlocksReplaceOnlyEachOther()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, block);
    QFETCH(bool, written);
    TestProgramDir dir;
    const QString path = dir.dbPath();
    const QByteArray tail = QByteArray(100, 'T');
    QVERIFY(testsupport::writeFile(path, before + tail));
    QCOMPARE(writeDbFileBlock(path, block), written);
    QCOMPARE(testsupport::readFile(path), (written ? block : before) + tail);
}

void TestPlatform::dbBlockNeverCreatesAFile()
{
    TestProgramDir dir;
    QVERIFY(!writeDbFileBlock(dir.dbPath(), closingMarkerBlock()));
    QVERIFY(!QFile::exists(dir.dbPath()));
    QCOMPARE(closingMarkerBlock(), QByteArray("QZ\0QORVENTALS\0  ", 16));
    QCOMPARE(databaseHeaderBlock(), QByteArray("SQLite format 3\0", 16));
}

void TestPlatform::autostartEntryStartsTheProgram()
{
    TestProgramDir dir;
    QCOMPARE(AutoStart::entryPath(), dir.configHome() + QStringLiteral("/autostart/Dorvik.desktop"));
    QVERIFY(AutoStart::writeEntry(dir.file(QStringLiteral("Dorvik"))));
    // The entry's keys as a desktop reads them: one "Key=Value" a line under the group header.
    const QStringList lines =
        QString::fromUtf8(testsupport::readFile(AutoStart::entryPath())).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.value(0), QStringLiteral("[Desktop Entry]"));
    QMap<QString, QString> keys;
    for (const QString& line : lines.mid(1)) {
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        QVERIFY2(eq > 0 && !keys.contains(line.left(eq)), qPrintable(line));
        keys.insert(line.left(eq), line.mid(eq + 1));
    }
    QCOMPARE(keys.value(QStringLiteral("Type")), QStringLiteral("Application"));
    QCOMPARE(keys.value(QStringLiteral("Exec")),
             QLatin1Char('"') + dir.file(QStringLiteral("Dorvik")) + QLatin1Char('"'));
    QCOMPARE(keys.value(QStringLiteral("Name")), QStringLiteral("蓝栎服装计件工资管理系统"));
    QCOMPARE(keys.value(QStringLiteral("Name[zh_CN]")), QStringLiteral("蓝栎服装计件工资管理系统"));
    // The picture beside the program, by its full path: the build folder's program has none in the theme.
    QCOMPARE(keys.value(QStringLiteral("Icon")), dir.file(QStringLiteral("icon/dorvik.png")));
    QVERIFY(AutoStart::removeEntry());
    QVERIFY(!AutoStart::entryExists());
    QVERIFY(AutoStart::removeEntry()); // already gone is fine
}

QTEST_GUILESS_MAIN(TestPlatform)
#include "tst_platform.moc"
