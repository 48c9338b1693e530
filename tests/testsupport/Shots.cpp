#include "testsupport/Shots.h"

#include <QApplication>
#include <QDir>
#include <QFont>

namespace testsupport {

void useProgramFont(QApplication& app)
{
    QFont::insertSubstitutions(QStringLiteral("宋体"), {QStringLiteral("SimSun"), QStringLiteral("AR PL UMing CN"),
                                                        QStringLiteral("WenQuanYi Zen Hei")});
    QFont font(QStringLiteral("宋体"));
    font.setPointSize(9);
    app.setFont(font);
}

QString picturesFolder(int argc, char** argv)
{
    return argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath();
}

} // namespace testsupport
