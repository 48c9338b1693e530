// dorvik-demo-db <path>: the demo workshop's database (see sample::demoOptions), made at path.
#include "SampleData.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: dorvik-demo-db <path of the database to make>\n");
        return 2;
    }
    QString error;
    if (!sample::createSampleDatabase(QString::fromLocal8Bit(argv[1]), sample::demoOptions(), &error)) {
        std::fprintf(stderr, "demo database: %s\n", error.toUtf8().constData());
        return 1;
    }
    return 0;
}
