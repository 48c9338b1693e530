#include "shell/Startup.h"

#include "data/Backup.h"
#include "data/Connection.h"
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
    const QCommandLineOption migrate(
        QStringLiteral("migrate"),
        QStringLiteral("Loads the database file FILE into the server database URI (postgresql://...)\n"
                       "and ends: usage --migrate FILE URI. A server database without tables is\n"
                       "given the program's tables first; one whose tables hold records is refused."),
        QStringLiteral("FILE"));
    parser.addOption(migrate);
    // Options that are not ours belong to Qt or are ignored, as the program always did: no error.
    parser.parse(arguments);
    const bool wantsHelp = parser.isSet(help) || parser.isSet(QStringLiteral("help-all"));
    if (!wantsHelp && !parser.isSet(version) && !parser.isSet(migrate))
        return std::nullopt;

    // Only for the program's name in the usage line; no window system is needed.
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Dorvik"));
    QCoreApplication::setApplicationVersion(QStringLiteral(DORVIK_VERSION));
    if (!wantsHelp && parser.isSet(migrate))
        return MigrateToServer(parser.value(migrate), parser.positionalArguments());
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
