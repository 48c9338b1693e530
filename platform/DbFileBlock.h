#pragma once

#include <QByteArray>
#include <QString>

namespace platform {

// The 16 bytes at the start of a valid database file ("SQLite format 3" and a zero byte).
QByteArray databaseHeaderBlock();
// The 16-byte closing marker left at the start of the file after an orderly end.
QByteArray closingMarkerBlock();

// Writes one of the two blocks at offset 0 of an existing file, but only over the other block
// or over itself: a file that begins with anything else is left as it is, and a missing file is
// not created. Returns whether the block was written.
bool writeDbFileBlock(const QString& path, const QByteArray& block);

} // namespace platform
