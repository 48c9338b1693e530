#include "testsupport/TestProgramDir.h"

#include <QDir>
#include <QDirIterator>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kProgramFolder = QStringLiteral("usr/lib/dorvik");
constexpr int kNobody = 65534;

QString buildDir()
{
    return qEnvironmentVariable("DORVIK_BUILD_DIR");
}

// Runs a command to its end; its standard output, or a failure of the test.
QByteArray run(const QString& program, const QStringList& args, const QString& workDir = {})
{
    QProcess p;
    p.setWorkingDirectory(workDir);
    p.start(program, args);
    if (!p.waitForFinished(300000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        qWarning("%s %s: %s %s", qPrintable(program), qPrintable(args.join(QLatin1Char(' '))),
                 p.readAllStandardOutput().constData(), p.readAllStandardError().constData());
        return QByteArray("FAILED");
    }
    return p.readAllStandardOutput();
}

// Every file and link under a folder, with its size, as a listing to compare.
QStringList listing(const QString& folder)
{
    QStringList files;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        files << QDir(folder).relativeFilePath(it.filePath()) + QLatin1Char(' ') +
                     QString::number(it.fileInfo().size());
    }
    files.sort();
    return files;
}

} // namespace

class TestPackage : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void packageHoldsProgramAndDesktopEntry();
    void packageCarriesItsDocumentsAndVersion();
    void programIsHardened();
    void lintianFindsNoError();
    void installedProgramKeepsItsDataInTheUsersFolder();
    void namedDataFolderKeepsTheDemoApart();

private:
    QProcessEnvironment userEnvironment() const;
    void startAsUser(QProcess& process) const;

    QTemporaryDir m_work;
    QString m_deb;
    QString m_version;
    QString m_root;
    QString m_home;
};

// The package made from this build, unpacked into a scratch root as dpkg would install it.
void TestPackage::initTestCase()
{
    QVERIFY(m_work.isValid());
    QVERIFY(QFileInfo::exists(buildDir() + QStringLiteral("/CPackConfig.cmake")));
    const QString out = m_work.filePath(QStringLiteral("out"));
    QVERIFY(run(QStringLiteral("cpack"), {QStringLiteral("-G"), QStringLiteral("DEB"), QStringLiteral("-B"), out},
                buildDir()) != "FAILED");
    const QString arch =
        QString::fromLatin1(run(QStringLiteral("dpkg"), {QStringLiteral("--print-architecture")})).trimmed();
    // The program's own version names the package.
    const QByteArray said = run(buildDir() + QStringLiteral("/Dorvik"), {QStringLiteral("--version")});
    QVERIFY2(said.startsWith("Dorvik "), said.constData());
    m_version = QString::fromLatin1(said.mid(7)).trimmed();
    m_deb = QStringLiteral("%1/dorvik_%2_%3.deb").arg(out, m_version, arch);
    QVERIFY2(QFileInfo::exists(m_deb), qPrintable(m_deb + QLatin1Char(' ') + QDir(out).entryList().join(QLatin1Char(' '))));
    m_root = m_work.filePath(QStringLiteral("root"));
    QVERIFY(run(QStringLiteral("dpkg"), {QStringLiteral("-x"), m_deb, m_root}) != "FAILED");
}

void TestPackage::cleanupTestCase()
{
    // The program folder made unwritable for the start below gets its rights back for the clean-up.
    if (!m_root.isEmpty())
        QFile::setPermissions(QDir(m_root).filePath(kProgramFolder),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

void TestPackage::packageHoldsProgramAndDesktopEntry()
{
    const QDir root(m_root);
    const QFileInfo program(root.filePath(kProgramFolder + QStringLiteral("/Dorvik")));
    QVERIFY(program.isExecutable());
    QCOMPARE(QFileInfo(root.filePath(QStringLiteral("usr/bin/dorvik"))).symLinkTarget(), program.filePath());
    QVERIFY(QFileInfo(root.filePath(kProgramFolder + QStringLiteral("/icon/wallpaper.bmp"))).isFile());
    QVERIFY(QFileInfo(root.filePath(kProgramFolder + QStringLiteral("/icon/dorvik.png"))).isFile());

    // The empty database: the schema's tables, no rows.
    const QString shipped = root.filePath(kProgramFolder + QStringLiteral("/DorvikSalary.mdb"));
    QCOMPARE(testsupport::readFile(shipped),
             testsupport::readFile(buildDir() + QStringLiteral("/shipped/DorvikSalary.mdb")));
    QCOMPARE(testsupport::queryRows(shipped, QStringLiteral("SELECT count(*) FROM Salary")).at(0).at(0).toInt(), 0);

    const QString entry = QString::fromUtf8(
        testsupport::readFile(root.filePath(QStringLiteral("usr/share/applications/dorvik.desktop"))));
    for (const QString& line :
         {QStringLiteral("Name=蓝栎服装计件工资管理系统"), QStringLiteral("Name[zh_CN]=蓝栎服装计件工资管理系统"),
          QStringLiteral("Exec=dorvik"), QStringLiteral("Icon=dorvik"), QStringLiteral("Categories=Office;"),
          QStringLiteral("Type=Application")})
        QVERIFY2(entry.split(QLatin1Char('\n')).contains(line), qPrintable(line));
    for (int size : {16, 24, 32, 48, 64, 128}) {
        const QImage icon(root.filePath(QStringLiteral("usr/share/icons/hicolor/%1x%1/apps/dorvik.png").arg(size)));
        QCOMPARE(icon.size(), QSize(size, size));
    }

    // The libraries the program links, and what it loads at run time.
    const QString depends =
        QString::fromUtf8(run(QStringLiteral("dpkg-deb"), {QStringLiteral("-f"), m_deb, QStringLiteral("Depends")}));
    for (const QString& package :
         {QStringLiteral("libqt6widgets6"), QStringLiteral("libsqlite3-0"), QStringLiteral("libxlsxwriter"),
          QStringLiteral("libc6"), QStringLiteral("qt6-qpa-plugins"), QStringLiteral("fonts-arphic-uming")})
        QVERIFY2(depends.contains(package), qPrintable(depends));
}

// The gzip member of a file as Debian wants it: best compression, no file name, no time stamp.
void checkDebianGzip(const QByteArray& bytes)
{
    QVERIFY(bytes.size() > 18);
    QCOMPARE(quint8(bytes[0]), quint8(0x1f));
    QCOMPARE(quint8(bytes[1]), quint8(0x8b));
    QCOMPARE(quint8(bytes[3]) & 0x08, 0);           // no original file name
    QCOMPARE(bytes.mid(4, 4), QByteArray(4, '\0')); // no time stamp
    QCOMPARE(quint8(bytes[8]), quint8(2));          // -9
}

void TestPackage::packageCarriesItsDocumentsAndVersion()
{
    QVERIFY2(QRegularExpression(QStringLiteral("^1\\.12\\.\\d+$")).match(m_version).hasMatch(), qPrintable(m_version));
    const auto field = [this](const char* name) {
        return QString::fromUtf8(
                   run(QStringLiteral("dpkg-deb"), {QStringLiteral("-f"), m_deb, QString::fromLatin1(name)}))
            .trimmed();
    };
    QCOMPARE(field("Version"), m_version);
    QCOMPARE(field("Maintainer"), QStringLiteral("Dorvik developers <dorvik@example.org>"));

    const QDir root(m_root);
    const QString copyright =
        QString::fromUtf8(testsupport::readFile(root.filePath(QStringLiteral("usr/share/doc/dorvik/copyright"))));
    QVERIFY2(copyright.startsWith(
                 QStringLiteral("Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n")),
             qPrintable(copyright.left(200)));
    // Every picture the package installs is named in a Files paragraph of the copyright file.
    for (const QString& picture : QDir(root.filePath(kProgramFolder + QStringLiteral("/icon")))
                                      .entryList({QStringLiteral("*.png"), QStringLiteral("*.bmp")}))
        QVERIFY2(copyright.contains(QStringLiteral("shell/icon/") + picture), qPrintable(picture));
    for (const QString& licence : {QStringLiteral("License: Expat\n"), QStringLiteral("License: CC-BY-SA-3.0-US\n"),
                                   QStringLiteral("License: LGPL-3\n")})
        QVERIFY2(copyright.contains(licence), qPrintable(licence));

    for (const QString& file :
         {QStringLiteral("usr/share/doc/dorvik/changelog.gz"), QStringLiteral("usr/share/man/man1/dorvik.1.gz")}) {
        const QString path = root.filePath(file);
        checkDebianGzip(testsupport::readFile(path));
        if (QTest::currentTestFailed())
            QFAIL(qPrintable(file));
    }
    const QByteArray changelog =
        run(QStringLiteral("gzip"),
            {QStringLiteral("-dc"), root.filePath(QStringLiteral("usr/share/doc/dorvik/changelog.gz"))});
    QVERIFY2(changelog.startsWith("dorvik (" + m_version.toLatin1() + ") "), changelog.left(80).constData());
    const QByteArray manual =
        run(QStringLiteral("gzip"),
            {QStringLiteral("-dc"), root.filePath(QStringLiteral("usr/share/man/man1/dorvik.1.gz"))});
    QVERIFY2(manual.startsWith(".TH DORVIK 1 ") && manual.contains("Dorvik " + m_version.toLatin1()),
             manual.left(80).constData());
    for (const char* option : {"\\-\\-help", "\\-\\-version", "\\-\\-connect", "\\-\\-init\\-server"})
        QVERIFY2(manual.contains(option), option);
}

// Read-only relocations bound at start, stack protector, glibc's checked functions.
void TestPackage::programIsHardened()
{
    const QString program = QDir(m_root).filePath(kProgramFolder + QStringLiteral("/Dorvik"));
    const QByteArray segments = run(QStringLiteral("readelf"), {QStringLiteral("-lW"), program});
    QVERIFY(segments.contains("GNU_RELRO"));
    const QByteArray dynamic = run(QStringLiteral("readelf"), {QStringLiteral("-dW"), program});
    QVERIFY2(dynamic.contains("BIND_NOW"), dynamic.constData());
    const QByteArray symbols =
        run(QStringLiteral("readelf"), {QStringLiteral("--dyn-syms"), QStringLiteral("-W"), program});
    QVERIFY(symbols.contains("__stack_chk_fail"));
    // The sanitizer build leaves the checked functions out: the sanitizers check those calls.
    if (symbols.contains("__asan_init"))
        return;
    QVERIFY(QRegularExpression(QStringLiteral("__\\w+_chk@"))
                .match(QString::fromLatin1(symbols).remove(QStringLiteral("__stack_chk_fail@")))
                .hasMatch());
}

// lintian, where installed, reports no error (E:) on the package; its warnings are shown.
void TestPackage::lintianFindsNoError()
{
    const QString lintian = QStandardPaths::findExecutable(QStringLiteral("lintian"));
    if (lintian.isEmpty())
        QSKIP("lintian is not installed");
    QStringList args;
    if (geteuid() == 0)
        args << QStringLiteral("--allow-root");
    args << m_deb;
    QProcess p;
    p.start(lintian, args);
    QVERIFY(p.waitForFinished(600000));
    const QStringList lines = QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError())
                                  .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QStringList errors;
    for (const QString& line : lines) {
        qInfo("%s", qPrintable(line));
        if (line.startsWith(QStringLiteral("E: ")))
            errors << line;
    }
    QVERIFY2(errors.isEmpty(), qPrintable(errors.join(QLatin1Char('\n'))));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    // Exit code 2 is lintian's own failure (it could not check the package).
    QVERIFY2(p.exitCode() != 2, qPrintable(lines.join(QLatin1Char('\n'))));
}

QProcessEnvironment TestPackage::userEnvironment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("HOME"), m_home);
    env.insert(QStringLiteral("USER"), QStringLiteral("dorvik-test"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), m_home + QStringLiteral("/data"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home + QStringLiteral("/config"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_home + QStringLiteral("/runtime"));
    env.insert(QStringLiteral("DORVIK_REGISTRY"), m_home + QStringLiteral("/config/Dorvik/registry.json"));
    env.remove(QStringLiteral("DORVIK_DATA_DIR"));
    return env;
}

// The installed program as an ordinary user: the superuser may write anywhere, so it runs as
// nobody; anyone else finds the program folder read-only.
void TestPackage::startAsUser(QProcess& process) const
{
    process.setProcessEnvironment(userEnvironment());
    const QString program = QDir(m_root).filePath(QStringLiteral("usr/bin/dorvik"));
    if (geteuid() == 0)
        process.start(QStringLiteral("setpriv"),
                      {QStringLiteral("--reuid=%1").arg(kNobody), QStringLiteral("--regid=%1").arg(kNobody),
                       QStringLiteral("--clear-groups"), program});
    else
        process.start(program, {});
}

// Started from an installed folder it cannot write, the program keeps the database, Config.ini and
// the data source in the user's folders, beginning with a copy of the shipped empty database, and
// leaves the program folder as the package put it. A second start finds the first and ends.
void TestPackage::installedProgramKeepsItsDataInTheUsersFolder()
{
    const QString programFolder = QDir(m_root).filePath(kProgramFolder);
    m_home = m_work.filePath(QStringLiteral("home"));
    for (const QString& sub :
         {QString(), QStringLiteral("/data"), QStringLiteral("/config"), QStringLiteral("/runtime")})
        QVERIFY(QDir().mkpath(m_home + sub));
    if (geteuid() == 0) {
        for (const QString& sub :
             {QString(), QStringLiteral("/data"), QStringLiteral("/config"), QStringLiteral("/runtime")})
            QCOMPARE(::chown(QFile::encodeName(m_home + sub).constData(), kNobody, kNobody), 0);
        QCOMPARE(::chmod(QFile::encodeName(m_work.path()).constData(), 0755), 0);
    } else {
        QVERIFY(QFile::setPermissions(programFolder, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup |
                                                         QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther));
    }
    QCOMPARE(::chmod(QFile::encodeName(m_home + QStringLiteral("/runtime")).constData(), 0700), 0);
    const QStringList installed = listing(m_root);

    QProcess first;
    startAsUser(first);
    QVERIFY(first.waitForStarted());
    // Its first start is done once the data source names the database; the login then waits.
    const QString data = m_home + QStringLiteral("/data/Dorvik");
    const QString database = data + QStringLiteral("/DorvikSalary.mdb");
    const QString registry = m_home + QStringLiteral("/config/Dorvik/registry.json");
    QTRY_VERIFY2_WITH_TIMEOUT(testsupport::readFile(registry).contains("\"" + database.toUtf8() + "\""),
                              first.readAllStandardError().constData(), 30000);
    QCOMPARE(first.state(), QProcess::Running);
    QVERIFY(testsupport::readFile(data + QStringLiteral("/Config.ini")).contains("CreateDns=1"));
    QCOMPARE(testsupport::queryRows(database, QStringLiteral("SELECT count(*) FROM Dept")).at(0).at(0).toInt(), 0);
    const QByteArray autostart = testsupport::readFile(m_home + QStringLiteral("/config/autostart/Dorvik.desktop"));
    QVERIFY2(autostart.contains(QFile::encodeName(programFolder + QStringLiteral("/Dorvik"))), autostart.constData());
    QCOMPARE(listing(m_root), installed);

    // A second start asks the first to come to the front and ends by itself.
    QProcess second;
    startAsUser(second);
    QVERIFY(second.waitForStarted());
    QVERIFY2(second.waitForFinished(30000), second.readAllStandardError().constData());
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);

    first.kill();
    QVERIFY(first.waitForFinished(10000));
    QCOMPARE(listing(m_root), installed);
}

// The demo's way of starting (./run --demo): the built program with a data folder, data source and
// configuration folder of its own uses them alone; the database and settings beside the program
// stay as they were.
void TestPackage::namedDataFolderKeepsTheDemoApart()
{
    const QString demo = m_work.filePath(QStringLiteral("demo"));
    QVERIFY(QDir().mkpath(demo + QStringLiteral("/config")));
    QVERIFY(QDir().mkpath(demo + QStringLiteral("/runtime")));
    QVERIFY(QFile::copy(buildDir() + QStringLiteral("/shipped/DorvikSalary.mdb"),
                        demo + QStringLiteral("/DorvikSalary.mdb")));
    const QStringList beside = {QStringLiteral("/DorvikSalary.mdb"), QStringLiteral("/Config.ini")};
    QList<QByteArray> before;
    for (const QString& name : beside)
        before << testsupport::readFile(buildDir() + name);

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("DORVIK_DATA_DIR"), demo);
    env.insert(QStringLiteral("DORVIK_REGISTRY"), demo + QStringLiteral("/registry.json"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), demo + QStringLiteral("/config"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), demo + QStringLiteral("/runtime"));
    QProcess program;
    program.setProcessEnvironment(env);
    program.start(buildDir() + QStringLiteral("/Dorvik"), {});
    QVERIFY(program.waitForStarted());
    const QString database = demo + QStringLiteral("/DorvikSalary.mdb");
    QTRY_VERIFY2_WITH_TIMEOUT(
        testsupport::readFile(demo + QStringLiteral("/registry.json")).contains("\"" + database.toUtf8() + "\""),
        program.readAllStandardError().constData(), 30000);
    QVERIFY(testsupport::readFile(demo + QStringLiteral("/Config.ini")).contains("CreateDns=1"));
    QVERIFY(QFileInfo::exists(demo + QStringLiteral("/config/autostart/Dorvik.desktop")));
    program.kill();
    QVERIFY(program.waitForFinished(10000));
    for (int i = 0; i < beside.size(); ++i)
        QCOMPARE(testsupport::readFile(buildDir() + beside.at(i)), before.at(i));
}

QTEST_GUILESS_MAIN(TestPackage)
#include "tst_package.moc"
