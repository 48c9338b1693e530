// Builds an empty database file from the schema: dorvik-mkdb <schema.sql> <database file>.
#include <sqlite3.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: dorvik-mkdb <schema.sql> <database file>\n");
        return 2;
    }
    std::ifstream in(argv[1]);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }
    std::stringstream schema;
    schema << in.rdbuf();
    std::remove(argv[2]);
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(argv[2], &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "cannot create %s\n", argv[2]);
        return 1;
    }
    char* error = nullptr;
    if (sqlite3_exec(db, schema.str().c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        std::fprintf(stderr, "schema failed: %s\n", error ? error : "?");
        sqlite3_free(error);
        sqlite3_close(db);
        std::remove(argv[2]);
        return 1;
    }
    sqlite3_close(db);
    return 0;
}
