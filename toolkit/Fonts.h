#pragma once

#include <QFont>

namespace toolkit {

// The program's Song face (宋体, or the free face standing in for it) at a size in pixels.
inline QFont songFont(int pixels)
{
    QFont font(QStringLiteral("宋体"));
    font.setPixelSize(pixels);
    return font;
}

} // namespace toolkit
