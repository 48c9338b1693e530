#include "shell/DorvikFunction.h"

#include "data/Connection.h"
#include "data/Engine.h"
#include "platform/AutoStart.h"
#include "platform/DbFileBlock.h"
#include "platform/ProfileFile.h"
#include "platform/ProgramDir.h"
#include "platform/RegistryStore.h"
#include "platform/SingleInstance.h"
#include "toolkit/MessageBox.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFileInfo>
#include <QWidget>

#include <cstdio>
#include <cstdlib>

namespace {

const QString kSection = QStringLiteral("Dorvik");
const QString kRunKey = QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Run");
const QString kDataSourcesKey = QStringLiteral("Software\\ODBC\\ODBC.INI\\ODBC Data Sources");
const QString kDorvikKey = QStringLiteral("Software\\ODBC\\ODBC.INI\\Dorvik");
const QString kJetKey = QStringLiteral("Software\\ODBC\\ODBC.INI\\Dorvik\\Engines\\Jet");
// The data source's fixed password, built into the program.
const QString kDataSourcePassword = QStringLiteral("5917");

platform::ProfileFile config()
{
    return platform::ProfileFile(ConfigFilePath());
}

void writeAutoRunEntry()
{
    if (auto key = platform::RegistryStore::openKey(kRunKey, false))
        key->writeString(QStringLiteral("Dorvik"), AutoRunProgramPath());
    platform::AutoStart::writeEntry(AutoRunProgramPath());
}

void showDataSourceFailure()
{
    toolkit::MessageBox(QStringLiteral("创建ODBC数据源失败,请与技术员联系!"), toolkit::kSystemCaption, QMessageBox::Ok,
                        toolkit::MsgIcon::Question);
}

// The window the user was working in: a modal window (the login, a box) while one is open, the
// active window, otherwise the first visible ordinary top-level window, preferring an unowned one
// (the main window rather than a window it owns).
QWidget* windowToRestore()
{
    if (QWidget* modal = QApplication::activeModalWidget())
        return modal;
    if (QWidget* active = QApplication::activeWindow())
        return active;
    QWidget* owned = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        // Menus, tool windows and tips are not windows to bring back.
        if (!w->isVisible() || (w->windowType() & Qt::Popup) == Qt::Popup)
            continue;
        if (!w->parentWidget())
            return w;
        if (!owned)
            owned = w;
    }
    return owned;
}

// Brings the window the user was working in back to the front; a minimised window comes back to
// its former size, and an owned window brings its minimised owner back with it.
void restoreActiveWindow()
{
    QWidget* window = windowToRestore();
    if (!window)
        return;
    for (QWidget* w = window; w; w = w->parentWidget() ? w->parentWidget()->window() : nullptr) {
        if (w->isMinimized())
            w->setWindowState(w->windowState() & ~Qt::WindowMinimized);
        w->show();
    }
    window->raise();
    window->activateWindow();
}

bool sameFile(const QString& a, const QString& b)
{
    const QFileInfo first(a);
    const QFileInfo second(b);
    if (first.exists() && second.exists())
        return first.canonicalFilePath() == second.canonicalFilePath();
    return first.absoluteFilePath() == second.absoluteFilePath();
}

// A program folder copied elsewhere, or a data folder that moved, still finds the data source naming
// the former folder's file: the header steps would reach one file and the statements another. A
// data source that names a file follows the data folder the program runs with; one that names a
// server is left as it is, and one that is not registered stays so.
void pointDataSourceAtDataFolder()
{
    auto dorvik = platform::RegistryStore::openKey(kDorvikKey, false);
    if (!dorvik)
        return;
    const auto dbq = dorvik->value(QStringLiteral("DBQ"));
    const QString named = dbq ? dbq->data.toString() : QString();
    if (data::namesServer(named))
        return;
    if (named.isEmpty() || !sameFile(named, DatabaseFilePath()))
        dorvik->writeString(QStringLiteral("DBQ"), DatabaseFilePath());
}

// The closing marker, the header steps and the lock beside the database belong to a database file;
// a server keeps none of them.
bool dataSourceIsServer()
{
    return data::namesServer(data::Connection::dataSource());
}

} // namespace

QString DatabaseFilePath()
{
    return platform::dataFile(QStringLiteral("DorvikSalary.mdb"));
}

QString ConfigFilePath()
{
    return platform::dataFile(QStringLiteral("Config.ini"));
}

QString AutoRunProgramPath()
{
    // The entry names the program file Dorvik whatever the running file is called.
    return platform::programFile(QStringLiteral("Dorvik"));
}

bool ClaimSingleInstance()
{
    platform::SingleInstance& guard = platform::SingleInstance::instance();
    const bool wasHeld = guard.isHeld();
    // On a server several PCs share the database: the guard keeps to this PC's runtime folder.
    const QString guardedFile = dataSourceIsServer() ? QString() : DatabaseFilePath();
    switch (guard.acquire(QCoreApplication::applicationName(), guardedFile)) {
    case platform::SingleInstance::Claim::OtherRestored: return false;
    case platform::SingleInstance::Claim::DatabaseInUse:
        // Said on the terminal too, for a start from a script.
        std::fprintf(stderr, "%s\n", kDatabaseInUse.toLocal8Bit().constData());
        std::fflush(stderr);
        toolkit::ShowStop(kDatabaseInUse);
        return false;
    case platform::SingleInstance::Claim::Alone: break;
    }
    if (!wasHeld)
        QObject::connect(&guard, &platform::SingleInstance::restoreRequested, &guard, restoreActiveWindow);
    return true;
}

void CheckSingleInstance()
{
    if (!ClaimSingleInstance()) {
        std::fflush(nullptr);
        std::_Exit(0);
    }
}

void RestoreDbHeader()
{
    if (dataSourceIsServer())
        return;
    platform::writeDbFileBlock(DatabaseFilePath(), platform::databaseHeaderBlock());
}

void WriteDbMarker()
{
    if (dataSourceIsServer())
        return;
    // Another copy still works on the file: the marker would make it unreadable under that copy.
    if (platform::SingleInstance::instance().databaseHeldElsewhere(DatabaseFilePath()))
        return;
    // Only this program's own database gets the marker: another program's SQLite file that was
    // refused at start must stay readable by its own program.
    if (!data::isProgramDatabaseFile(DatabaseFilePath()))
        return;
    platform::writeDbFileBlock(DatabaseFilePath(), platform::closingMarkerBlock());
}

void SetupAutoRun()
{
    if (config().readInt(kSection, QStringLiteral("AutoRun"), 0) != 0)
        return;
    config().writeInt(kSection, QStringLiteral("AutoRun"), 1);
    config().writeInt(kSection, QStringLiteral("CreateConfig"), 1);
    writeAutoRunEntry();
}

void CreateDataSource()
{
    if (config().readInt(kSection, QStringLiteral("CreateDns"), 0) != 0)
        return pointDataSourceAtDataFolder();
    // Marked first, so that a registration that fails is not tried again at later starts.
    config().writeInt(kSection, QStringLiteral("CreateDns"), 1);

    auto sources = platform::RegistryStore::openKey(kDataSourcesKey, true);
    if (!sources)
        return showDataSourceFailure();
    sources->writeString(QStringLiteral("Dorvik"), QStringLiteral("Microsoft Access Driver (*.mdb)"));

    auto dorvik = platform::RegistryStore::openKey(kDorvikKey, true);
    if (!dorvik)
        return showDataSourceFailure();
    // A server chosen before the first start (dorvik --connect from an installation script) stays.
    if (const auto dbq = dorvik->value(QStringLiteral("DBQ")); !dbq || !data::namesServer(dbq->data.toString()))
        dorvik->writeString(QStringLiteral("DBQ"), DatabaseFilePath());
    dorvik->writeString(QStringLiteral("Description"), QString());
    dorvik->writeString(QStringLiteral("Driver"), QStringLiteral("C:\\WIN98\\SYSTEM\\odbcjt32.dll"));
    dorvik->writeDword(QStringLiteral("DriverId"), 25);
    dorvik->writeString(QStringLiteral("FIL"), QStringLiteral("Ms Access;"));
    dorvik->writeDword(QStringLiteral("SafeTransaction"), 0);
    dorvik->writeString(QStringLiteral("UID"), QStringLiteral("tavik"));
    dorvik->writeString(QStringLiteral("Pwd"), kDataSourcePassword);
    dorvik->writeBinary(QStringLiteral("Exclusive"), QByteArray(1, '\0'));
    dorvik->writeBinary(QStringLiteral("ReadOnly"), QByteArray(1, '\0'));

    auto jet = platform::RegistryStore::openKey(kJetKey, true);
    if (!jet)
        return showDataSourceFailure();
    jet->writeString(QStringLiteral("ImplicitCommitSync"), QStringLiteral("Yes"));
    jet->writeDword(QStringLiteral("MaxBufferSize"), 512);
    jet->writeDword(QStringLiteral("PageTimeout"), 10);
    jet->writeDword(QStringLiteral("Threads"), 3);
    jet->writeString(QStringLiteral("UserCommitSync"), QStringLiteral("Yes"));
}

int ReadAutoRun()
{
    return config().readInt(kSection, QStringLiteral("AutoRun"), 1);
}

void AutoRunOn()
{
    config().writeInt(kSection, QStringLiteral("AutoRun"), 1);
    writeAutoRunEntry();
}

void AutoRunOff()
{
    config().writeInt(kSection, QStringLiteral("AutoRun"), 2);
    if (auto key = platform::RegistryStore::openKey(kRunKey, false)) {
        if (key->valueExists(QStringLiteral("Dorvik")))
            key->deleteValue(QStringLiteral("Dorvik"));
    }
    platform::AutoStart::removeEntry();
}
