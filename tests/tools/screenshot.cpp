// Saves a picture of the whole X screen: dorvik-screenshot <file.png> [delay in ms].
// For looking at the program under Xvfb: start it, then take the picture from a second client.
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QThread>

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc < 2)
        return 2;
    if (argc > 2)
        QThread::msleep(QByteArray(argv[2]).toULong());
    const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0);
    return shot.save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
}
