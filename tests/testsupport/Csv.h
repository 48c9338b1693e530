#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace testsupport {

// The records of a CSV text as RFC 4180 writes them: quoted fields may hold commas, doubled quotes
// and line breaks; records end with CR LF.
QList<QStringList> parseCsv(const QString& text);

} // namespace testsupport
