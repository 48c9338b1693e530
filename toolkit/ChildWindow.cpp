#include "toolkit/ChildWindow.h"

#include <QMdiSubWindow>
#include <QWidget>

namespace toolkit {

QMdiSubWindow* childFrame(QWidget* child)
{
    for (QWidget* w = child; w; w = w->parentWidget())
        if (auto* frame = qobject_cast<QMdiSubWindow*>(w))
            return frame;
    return nullptr;
}

void restoreIfMaximized(QWidget* child)
{
    QMdiSubWindow* frame = childFrame(child);
    QWidget* window = frame ? static_cast<QWidget*>(frame) : child;
    if (window->windowState() & Qt::WindowMaximized)
        window->showNormal();
}

} // namespace toolkit
