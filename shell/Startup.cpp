#include "shell/Startup.h"

#include "data/Connection.h"
#include "shell/DorvikFunction.h"
#include "shell/Login.h"
#include "shell/MAIN.h"
#include "toolkit/MessageBox.h"

#include <QApplication>
#include <QFont>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

void PrepareApplication(QApplication& app)
{
    QCoreApplication::setApplicationName(kApplicationTitle);
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
