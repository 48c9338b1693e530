#include "platform/DbFileBlock.h"

#include <QFile>

namespace platform {

QByteArray databaseHeaderBlock()
{
    return QByteArray("SQLite format 3\0", 16);
}

QByteArray closingMarkerBlock()
{
    return QByteArray("QZ\0QORVENTALS\0  ", 16);
}

bool writeDbFileBlock(const QString& path, const QByteArray& block)
{
    Q_ASSERT(block.size() == 16);
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite | QIODevice::ExistingOnly))
        return false;
    const QByteArray current = file.read(16);
    if (current != databaseHeaderBlock() && current != closingMarkerBlock())
        return false;
    if (current == block)
        return true;
    if (!file.seek(0) || file.write(block) != 16)
        return false;
    return file.flush();
}

} // namespace platform
