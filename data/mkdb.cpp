// Builds an empty database file from the schema: dorvik-mkdb <database file>.
#include "data/Schema.h"

#include <sqlite3.h>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: dorvik-mkdb <database file>\n");
        return 2;
    }
    std::remove(argv[1]);
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(argv[1], &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "cannot create %s\n", argv[1]);
        sqlite3_close(db);
        return 1;
    }
    char* error = nullptr;
    const QByteArray schema = data::schemaText(data::Dialect::Sqlite).toUtf8();
    if (sqlite3_exec(db, schema.constData(), nullptr, nullptr, &error) != SQLITE_OK) {
        std::fprintf(stderr, "schema failed: %s\n", error ? error : "?");
        sqlite3_free(error);
        sqlite3_close(db);
        std::remove(argv[1]);
        return 1;
    }
    sqlite3_close(db);
    return 0;
}
