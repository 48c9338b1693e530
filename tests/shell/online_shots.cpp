// Saves a picture of the "在线用户" window into the folder given as the first argument, with a few
// clerks connected; for a person to look at (run under Xvfb with the xcb platform, against a test
// server: DORVIK_TEST_ENGINE=pg and DORVIK_TEST_PG_SOCKET naming its socket folder).

#include "data/ClientName.h"
#include "data/Connection.h"
#include "data/DataModule.h"
#include "data/LoginIdentity.h"
#include "shell/Online.h"
#include "testsupport/Shots.h"
#include "testsupport/TestProgramDir.h"

#include <QApplication>
#include <QDir>
#include <QTest>

#include <libpq-fe.h>

#include <cstdio>
#include <memory>
#include <vector>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    testsupport::useProgramFont(app);
    const QString folder = testsupport::picturesFolder(argc, argv);
    if (!testsupport::onServer()) {
        std::fprintf(stderr, "online_shots needs the test server (DORVIK_TEST_ENGINE=pg)\n");
        return 1;
    }

    testsupport::TestProgramDir dir;
    dir.prepareDatabase();
    const QByteArray uri = dir.dbPath().toUtf8();
    // Clerks on other PCs, one of them in a transaction, and another program.
    std::vector<std::unique_ptr<PGconn, void (*)(PGconn*)>> others;
    const auto connectAs = [&](const QByteArray& name) {
        const char* keys[] = {"dbname", "application_name", nullptr};
        const char* values[] = {uri.constData(), name.constData(), nullptr};
        others.emplace_back(PQconnectdbParams(keys, values, 1), PQfinish);
        return others.back().get();
    };
    connectAs(data::applicationName(QStringLiteral("张三"), QStringLiteral("CUT-ROOM-PC")));
    PQclear(PQexec(connectAs(data::applicationName(QStringLiteral("李四"), QStringLiteral("SEWING-2"))), "BEGIN"));
    connectAs(data::applicationName(QString(), QStringLiteral("OFFICE-PC")));
    connectAs("psql");

    LoginUser = QStringLiteral("Dorvik");
    LoginRole = kAdministratorRole;
    TDM dm;
    {
        TOnlineForm online;
        online.show();
        QTest::qWait(200);
        online.grab().save(QDir(folder).filePath(QStringLiteral("online.png")));
    }
    return 0;
}
