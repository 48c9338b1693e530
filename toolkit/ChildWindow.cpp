#include "toolkit/ChildWindow.h"

#include <QCloseEvent>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QWidget>

namespace toolkit {

namespace {
ChildWindow::Host& host()
{
    static ChildWindow::Host theHost;
    return theHost;
}
} // namespace

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

ChildWindow::ChildWindow(QWidget* parent) : QWidget(parent) {}

Qt::WindowFlags ChildWindow::frameFlags() const
{
    return Qt::SubWindow | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
}

void ChildWindow::closeWindow()
{
    QWidget* frame = childFrame(this);
    (frame ? frame : static_cast<QWidget*>(this))->close();
}

void ChildWindow::setHost(Host newHost)
{
    host() = std::move(newHost);
}

void ChildWindow::present(ChildWindow* window)
{
    if (host())
        host()(window);
    else
        window->show();
}

void ChildWindow::setDesignedSize(int width, int height)
{
    setMinimumSize(width, height);
    resize(minimumSize());
}

QPushButton* ChildWindow::makeButton(const QString& name, const QString& text, const QRect& geometry)
{
    auto* button = new QPushButton(text, this);
    button->setObjectName(name);
    button->setAutoDefault(false);
    button->setGeometry(geometry);
    return button;
}

void ChildWindow::FormResize()
{
    restoreIfMaximized(this);
}

void ChildWindow::closeEvent(QCloseEvent* event)
{
    FormClose();
    if (!event->isAccepted())
        return;
    setAttribute(Qt::WA_DeleteOnClose);
    emit closed();
}

void ChildWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    FormResize();
}

} // namespace toolkit
