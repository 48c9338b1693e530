#include "toolkit/MessageBox.h"

#include <QApplication>

namespace toolkit {

namespace {

MessageAnswerer& answerer()
{
    static MessageAnswerer current;
    return current;
}

QMessageBox::Icon qtIcon(MsgIcon icon)
{
    switch (icon) {
    case MsgIcon::Information: return QMessageBox::Information;
    case MsgIcon::Warning: return QMessageBox::Warning;
    case MsgIcon::Question: return QMessageBox::Question;
    case MsgIcon::Stop: return QMessageBox::Critical;
    case MsgIcon::None: break;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButton showModal(const MessageRequest& request)
{
    QMessageBox box(qtIcon(request.icon), request.caption, request.text, request.buttons, QApplication::activeWindow());
    return QMessageBox::StandardButton(box.exec());
}

} // namespace

void setMessageAnswerer(MessageAnswerer replacement)
{
    answerer() = std::move(replacement);
}

QMessageBox::StandardButton MessageBox(const QString& text, const QString& caption,
                                       QMessageBox::StandardButtons buttons, MsgIcon icon)
{
    const MessageRequest request{text, caption, buttons, icon};
    if (answerer())
        return answerer()(request);
    return showModal(request);
}

void ShowStop(const QString& text)
{
    MessageBox(text, kSystemCaption, QMessageBox::Ok, MsgIcon::Stop);
}

void ShowInfo(const QString& text)
{
    MessageBox(text, kSystemCaption, QMessageBox::Ok, MsgIcon::Information);
}

bool AskDelete()
{
    return MessageBox(QStringLiteral("是否确定要删除此数据?  "), QStringLiteral("提示"),
                      QMessageBox::Yes | QMessageBox::No, MsgIcon::Question) == QMessageBox::Yes;
}

} // namespace toolkit
