#include "shell/Startup.h"

#include <QApplication>

int main(int argc, char** argv)
{
    if (const std::optional<int> answered = AnswerCommandLine(argc, argv))
        return *answered;
    QApplication app(argc, argv);
    PrepareApplication(app);
    return RunProgram(app);
}
