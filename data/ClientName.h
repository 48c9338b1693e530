#pragma once

#include <QByteArray>
#include <QString>

namespace data {

// The name each of the program's connections gives the server (its application_name), so that an
// administrator sees which clerk on which PC holds it: "Dorvik <user>@<PC>". The server keeps only
// printable ASCII (it turns every other byte into "?"), so the user and the PC are percent-encoded
// as UTF-8: letters, digits and other printable ASCII stay as they are, "%", "@" and everything
// else become %XX. The server keeps at most 63 bytes; a longer name is cut after the last whole
// character, never inside one.
constexpr int kApplicationNameBytes = 63;
QByteArray applicationName(const QString& user, const QString& host);
// The name for the logged-in user (empty before the login) on this PC.
QByteArray applicationName();
// This PC's name as the network knows it.
QString thisHostName();

// What an application_name tells: a name of the program's own form gives the user and the PC
// (either cut short or empty when the name was cut); any other name is not the program's.
struct ClientName {
    bool ours = false;
    QString user;
    QString host;
};
ClientName readApplicationName(const QString& name);

// Gives the open connection the logged-in user's name; the name is bound at the "?".
inline const QString kSetApplicationNameSql = QStringLiteral("SELECT set_config('application_name', ?, false)");

} // namespace data
