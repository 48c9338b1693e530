#include "shell/Startup.h"

#include "data/Backup.h"
#include "data/Connection.h"
#include "data/Engine.h"
#include "data/ServerSetup.h"
#include "platform/ProgramDir.h"
#include "shell/DorvikFunction.h"
#include "shell/Login.h"
#include "shell/MAIN.h"
#include "toolkit/MessageBox.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFont>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <cstdio>

CommandAnswer ConnectCommand(const QString& target)
{
    QString source = target;
    if (target == QLatin1String("file")) {
        source = DatabaseFilePath();
    } else if (!data::namesServer(target)) {
        return {false, QStringLiteral("对不起，--connect 需要数据库服务器的地址（postgresql://...）或 file!")};
    } else if (const data::Error problem = data::checkServerToStore(target); problem.failed()) {
        return {false, QStringLiteral("对不起，数据源没有改变：%1!").arg(problem.text)};
    }
    if (const data::Error problem = data::writeDataSource(source); problem.failed())
        return {false, QStringLiteral("对不起，%1!").arg(problem.text)};
    return {true, data::namesServer(source) ? QStringLiteral("数据源 Dorvik 已指向数据库服务器 %1").arg(source)
                                            : QStringLiteral("数据源 Dorvik 已指向数据库文件 %1").arg(source)};
}

CommandAnswer InitServerCommand(const QString& uri)
{
    if (const data::Error problem = data::prepareServer(uri); problem.failed())
        return {false, QStringLiteral("对不起，数据库没有建立：%1!").arg(problem.text)};
    return {true, QStringLiteral("数据库服务器上已建立本系统的数据表：%1").arg(uri)};
}

std::optional<int> AnswerCommandLine(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("蓝栎服装计件工资管理系统 - piece-work wages of a garment workshop.\n\n"
                       "Without options the program opens its login window. Qt's own options\n"
                       "(-platform, -style, ...) are passed on to Qt.\n\n"
                       "Environment:\n"
                       "  DORVIK_DATA_DIR   the folder of the database, Config.ini and backup/\n"
                       "  DORVIK_REGISTRY   the file of the registry store (data source, autorun)"));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption connect(
        QStringLiteral("connect"),
        QStringLiteral("Points the data source at a database server (postgresql://host:port/dbname; the\n"
                       "password goes in ~/.pgpass or PGPASSWORD, never in the URI) once the server\n"
                       "answers with this program's database; \"file\" points it back at the data\n"
                       "folder's DorvikSalary.mdb."),
        QStringLiteral("URI|file"));
    const QCommandLineOption initServer(
        QStringLiteral("init-server"),
        QStringLiteral("Makes the program's tables in a new, empty server database (one that holds no\n"
                       "table yet)."),
        QStringLiteral("URI"));
    const QCommandLineOption migrate(
        QStringLiteral("migrate"),
        QStringLiteral("Loads the database file FILE into the server database URI (postgresql://...)\n"
                       "and ends: usage --migrate FILE URI. A server database without tables is\n"
                       "given the program's tables first; one whose tables hold records is refused."),
        QStringLiteral("FILE"));
    parser.addOption(connect);
    parser.addOption(initServer);
    parser.addOption(migrate);
    // Options that are not ours belong to Qt or are ignored, as the program always did: no error.
    parser.parse(arguments);
    const bool wantsHelp = parser.isSet(help) || parser.isSet(QStringLiteral("help-all"));
    const bool setsUp = parser.isSet(connect) || parser.isSet(initServer);
    if (!wantsHelp && !parser.isSet(version) && !setsUp && !parser.isSet(migrate))
        return std::nullopt;

    // For the program's name in the usage line and its folders; no window system is needed.
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Dorvik"));
    QCoreApplication::setApplicationVersion(QStringLiteral(DORVIK_VERSION));
    if (!wantsHelp && !parser.isSet(version) && parser.isSet(migrate))
        return MigrateToServer(parser.value(migrate), parser.positionalArguments());
    if (!wantsHelp && !parser.isSet(version)) {
        const CommandAnswer answer = parser.isSet(initServer) ? InitServerCommand(parser.value(initServer))
                                                              : ConnectCommand(parser.value(connect));
        std::fprintf(answer.ok ? stdout : stderr, "%s\n", answer.text.toLocal8Bit().constData());
        std::fflush(nullptr);
        return answer.ok ? 0 : 1;
    }
    const QString text =
        wantsHelp ? parser.helpText() : QStringLiteral("Dorvik %1\n").arg(QCoreApplication::applicationVersion());
    std::fputs(text.toLocal8Bit().constData(), stdout);
    std::fflush(stdout);
    return 0;
}

int MigrateToServer(const QString& file, const QStringList& rest)
{
    if (rest.size() != 1) {
        std::fputs("dorvik --migrate: usage: dorvik --migrate FILE URI\n", stderr);
        return 2;
    }
    qint64 total = 0;
    const data::CopyOutcome outcome =
        data::migrateToServer(file, rest.first(), [&total](const QString& table, qint64 rows) {
            total += rows;
            std::fprintf(stdout, "%s: %lld rows\n", table.toLocal8Bit().constData(), static_cast<long long>(rows));
            std::fflush(stdout);
        });
    if (!outcome.ok) {
        std::fprintf(stderr, "dorvik --migrate: %s\n", outcome.message.toLocal8Bit().constData());
        return 1;
    }
    std::fprintf(stdout, "Done: %lld rows loaded.\n", static_cast<long long>(total));
    return 0;
}

void PrepareApplication(QApplication& app)
{
    QCoreApplication::setApplicationName(kApplicationTitle);
    QCoreApplication::setApplicationVersion(QStringLiteral(DORVIK_VERSION));
    QGuiApplication::setDesktopFileName(QString::fromLatin1(kDesktopFileName));
    // Every window without its own icon, the login window first, shows the program's picture.
    QApplication::setWindowIcon(QIcon(platform::programFile(QStringLiteral("icon/dorvik.png"))));
    // The Song face of the design, with the free Song face and a second CJK face standing in.
    QFont::insertSubstitutions(QStringLiteral("宋体"), {QStringLiteral("SimSun"), QStringLiteral("AR PL UMing CN"),
                                                        QStringLiteral("WenQuanYi Zen Hei")});
    QFont font(QStringLiteral("宋体"));
    font.setPointSize(9);
    app.setFont(font);
    auto* translator = new QTranslator(&app);
    if (translator->load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"), QStringLiteral("_"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(translator);
}

int RunProgram(QApplication& app)
{
    // A program built against another SQLite than the one installed does not touch the database.
    if (const QString problem = data::engineVersionProblem(); !problem.isEmpty()) {
        toolkit::ShowStop(problem);
        return 1;
    }
    int result = QDialog::Rejected;
    {
        auto* login = new TLoginForm;
        LoginForm = login;
        result = login->exec();
        delete login; // its data module goes with it
        LoginForm = nullptr;
    }
    if (result != QDialog::Accepted) {
        WriteDbMarker();
        return 0;
    }
    auto* mainForm = new TMainForm;
    MainForm = mainForm;
    mainForm->setAttribute(Qt::WA_DeleteOnClose);
    mainForm->showMaximized();
    const int code = app.exec();
    delete MainForm;
    LoginUser.clear();
    LoginRole.clear();
    return code;
}
