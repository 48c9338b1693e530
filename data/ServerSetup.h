#pragma once

#include "data/Error.h"

#include <QString>

namespace data {

// Checking and preparing a database server before the data source is pointed at it, and pointing
// the data source. Nothing here shows a window: each function says in an Error what is wrong, in
// the user's words (empty when all is well).

// Connects to the server as the program would and checks that it runs this program's database:
// the server cannot be reached, the password is refused or missing, the database lacks the
// program's tables, or the server is too old.
Error probeServer(const QString& uri);

// Makes the program's tables in a new, empty server database, all in one transaction. A database
// that already holds a table in its schema is refused and left as it is.
Error prepareServer(const QString& uri);

// True when a server URI carries a password (user:password@host, or password=... among its
// settings). Such a URI is never stored: the password belongs in ~/.pgpass or PGPASSWORD.
bool carriesPassword(const QString& uri);
QString passwordInUriText();

// The checks before a server is stored as the data source: no password in the URI, and
// probeServer finds nothing wrong.
Error checkServerToStore(const QString& uri);

// Writes the data source's value (a database file's path or a server URI), making the data
// source's key when there is none.
Error writeDataSource(const QString& source);

} // namespace data
