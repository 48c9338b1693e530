#include "shell/Startup.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    PrepareApplication(app);
    return RunProgram(app);
}
