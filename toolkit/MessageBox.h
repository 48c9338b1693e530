#pragma once

#include <QMessageBox>
#include <QString>

#include <functional>
#include <memory>

namespace toolkit {

// Caption of the system's own message boxes and of the main window.
inline const QString kSystemCaption = QStringLiteral("蓝栎服装计件工资管理系统");

enum class MsgIcon { None, Information, Warning, Question, Stop };

struct MessageRequest {
    QString text;
    QString caption;
    QMessageBox::StandardButtons buttons;
    MsgIcon icon = MsgIcon::None;
};

// Who answers the boxes: the real modal box by default; tests put a scripted answerer in its place.
using MessageAnswerer = std::function<QMessageBox::StandardButton(const MessageRequest&)>;
void setMessageAnswerer(MessageAnswerer answerer);

// The box that MessageBox shows when no answerer is set: text, caption, buttons and icon, and at
// least as wide as its caption needs in the title bar (a QMessageBox sizes itself to its text).
std::unique_ptr<QMessageBox> MakeMessageBox(const MessageRequest& request, QWidget* parent);

// Every message box of the program goes through here. Returns the button that closed the box.
QMessageBox::StandardButton MessageBox(const QString& text, const QString& caption,
                                       QMessageBox::StandardButtons buttons, MsgIcon icon);

// The usual refusal or error: system caption, OK button, stop icon.
void ShowStop(const QString& text);
// A success notice: system caption, OK button, information icon.
void ShowInfo(const QString& text);
// The deletion question "是否确定要删除此数据?  " with Yes and No; true for Yes.
bool AskDelete();

} // namespace toolkit
