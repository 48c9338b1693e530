#pragma once

class QWidget;
class QMdiSubWindow;

namespace toolkit {

// The frame a child window sits in inside the main window's workspace, or nullptr.
QMdiSubWindow* childFrame(QWidget* child);

// The resize rule of the fixed-layout child windows, called from their FormResize (resize event):
// a child window that finds itself maximized returns at once to its normal size and position.
void restoreIfMaximized(QWidget* child);

} // namespace toolkit
