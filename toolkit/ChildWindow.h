#pragma once

#include <QWidget>

#include <functional>

class QLabel;
class QMdiSubWindow;
class QPushButton;

namespace toolkit {

// The frame a child window sits in inside the main window's workspace, or nullptr.
QMdiSubWindow* childFrame(QWidget* child);

// The resize rule of the fixed-layout child windows, called from their FormResize (resize event):
// a child window that finds itself maximized returns at once to its normal size and position.
void restoreIfMaximized(QWidget* child);

// A push button of the program's usual kind on parent: object name, caption, place; Enter in an
// edit does not press it.
QPushButton* makePushButton(QWidget* parent, const QString& name, const QString& text, const QRect& geometry);
// The window's "退出" button (cmdexit), with the close picture.
QPushButton* makeExitButton(QWidget* parent, const QRect& geometry);
// A field label of the entry windows: object name, text, place, 宋体 at 14 pixels.
QLabel* makeFieldLabel(QWidget* parent, const QString& name, const QString& text, const QRect& geometry);

// Where a window of the given size stands when it is centred in an area (its top-left corner,
// never above or left of the area's own).
QPoint centredIn(const QRect& area, const QSize& size);

// What every child window of the main window shares: it is freed when closed (its destructor
// clears the window's instance reference), its frame closes with it, "退出" closes both, it keeps
// the size it was designed with, and it is handed to the main window's workspace, centred there.
// A window keeps the handler names of its design (FormClose, FormResize) by overriding the hooks.
class ChildWindow : public QWidget {
    Q_OBJECT
public:
    explicit ChildWindow(QWidget* parent = nullptr);

    // Title-bar buttons of the frame the workspace puts this window in. The default is a fixed
    // dialog border with no buttons: the window is closed with "退出".
    virtual Qt::WindowFlags frameFlags() const;

    // The designed client size is the least size of a fixed-layout window.
    QSize sizeHint() const override { return minimumSize(); }

    // "退出": closes the window together with its frame.
    void closeWindow();

    // Who takes new child windows: the main window registers a function that puts a window into
    // its workspace, centred, and shows it. Without one (tests, a window on its own) present()
    // simply shows the window.
    using Host = std::function<void(ChildWindow*)>;
    static void setHost(Host host);
    static void present(ChildWindow* window);

signals:
    // The window has agreed to close and is about to be freed.
    void closed();

protected:
    // Fixes the designed client size and the window's usual font (宋体 at 12 pixels). The
    // designed size is the least size; larger only while maximized, which the resize rule undoes
    // at once.
    void setDesignedSize(int width, int height);
    // A push button of the window's usual kind (makePushButton) on this window.
    QPushButton* makeButton(const QString& name, const QString& text, const QRect& geometry);
    QPushButton* makeExitButton(const QRect& geometry);
    // A field label (makeFieldLabel) on this window.
    QLabel* makeLabel(const QString& name, const QString& text, const QRect& geometry);

    // Run when the window closes; the window is freed afterwards.
    virtual void FormClose() {}
    // Run on every resize; the default is the resize rule of the fixed-layout windows.
    virtual void FormResize();

    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
};

} // namespace toolkit
