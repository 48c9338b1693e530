// dorvik-iconsizes <picture> <folder> <size>...: the program's picture at each size, as the icon
// theme folders want it (<folder>/<size>x<size>/apps/dorvik.png).
#include <QDir>
#include <QImage>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: dorvik-iconsizes <picture> <folder> <size>...\n");
        return 2;
    }
    const QImage picture(QString::fromLocal8Bit(argv[1]));
    if (picture.isNull()) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }
    for (int i = 3; i < argc; ++i) {
        const int size = QString::fromLatin1(argv[i]).toInt();
        const QString folder = QStringLiteral("%1/%2x%2/apps").arg(QString::fromLocal8Bit(argv[2])).arg(size);
        if (size <= 0 || !QDir().mkpath(folder) ||
            !picture.scaled(size, size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                 .save(folder + QStringLiteral("/dorvik.png"))) {
            std::fprintf(stderr, "cannot write the %s pixel picture\n", argv[i]);
            return 1;
        }
    }
    return 0;
}
