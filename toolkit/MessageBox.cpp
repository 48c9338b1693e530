#include "toolkit/MessageBox.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGridLayout>
#include <QSpacerItem>

#include <algorithm>

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

// Beside the caption the title bar holds the window icon, the close button and the frame's padding.
constexpr int kTitleBarExtras = 120;

// The width the caption takes in a title bar: window managers draw titles in the title-bar font,
// often bold.
int captionWidth(const QString& caption)
{
    int width = 0;
    for (QFont font : {QApplication::font("QMdiSubWindowTitleBar"), QApplication::font()}) {
        font.setBold(true);
        width = std::max(width, QFontMetrics(font).horizontalAdvance(caption));
    }
    return width + kTitleBarExtras;
}

QMessageBox::StandardButton showModal(const MessageRequest& request)
{
    const std::unique_ptr<QMessageBox> box = MakeMessageBox(request, QApplication::activeWindow());
    return QMessageBox::StandardButton(box->exec());
}

} // namespace

std::unique_ptr<QMessageBox> MakeMessageBox(const MessageRequest& request, QWidget* parent)
{
    auto box =
        std::make_unique<QMessageBox>(qtIcon(request.icon), request.caption, request.text, request.buttons, parent);
    // The box takes the width of its layout's content: a row under everything, as wide as the
    // caption needs, keeps the caption whole.
    if (auto* grid = qobject_cast<QGridLayout*>(box->layout()))
        grid->addItem(new QSpacerItem(captionWidth(request.caption), 0, QSizePolicy::Fixed, QSizePolicy::Minimum),
                      grid->rowCount(), 0, 1, grid->columnCount());
    return box;
}

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
