#include "toolkit/ChildWindow.h"

#include "toolkit/Fonts.h"

#include <QCloseEvent>
#include <QLabel>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QStyle>
#include <QWidget>

#include <algorithm>

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

QPushButton* makePushButton(QWidget* parent, const QString& name, const QString& text, const QRect& geometry)
{
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    button->setGeometry(geometry);
    return button;
}

QPushButton* makeExitButton(QWidget* parent, const QRect& geometry)
{
    QPushButton* button = makePushButton(parent, QStringLiteral("cmdexit"), QStringLiteral("退出"), geometry);
    button->setIcon(parent->style()->standardIcon(QStyle::SP_DialogCloseButton));
    return button;
}

QLabel* makeFieldLabel(QWidget* parent, const QString& name, const QString& text, const QRect& geometry)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setFont(songFont(14));
    label->setGeometry(geometry);
    return label;
}

QPoint centredIn(const QRect& area, const QSize& size)
{
    return QPoint(area.left() + std::max(0, (area.width() - size.width()) / 2),
                  area.top() + std::max(0, (area.height() - size.height()) / 2));
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
    setFont(songFont(12));
    setMinimumSize(width, height);
    resize(minimumSize());
}

QPushButton* ChildWindow::makeButton(const QString& name, const QString& text, const QRect& geometry)
{
    return makePushButton(this, name, text, geometry);
}

QPushButton* ChildWindow::makeExitButton(const QRect& geometry)
{
    return toolkit::makeExitButton(this, geometry);
}

QLabel* ChildWindow::makeLabel(const QString& name, const QString& text, const QRect& geometry)
{
    return makeFieldLabel(this, name, text, geometry);
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
