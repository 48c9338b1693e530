#include "shell/About.h"

#include "toolkit/MessageBox.h"

#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPushButton>
#include <QScreen>

TAboutBox* AboutBox = nullptr;

namespace {

// The banner across the top of the box: the system's name on a blue band.
QPixmap banner(const QFont& base)
{
    QPixmap picture(303, 46);
    QPainter p(&picture);
    QLinearGradient band(0, 0, 303, 0);
    band.setColorAt(0, QColor(28, 64, 128));
    band.setColorAt(1, QColor(96, 150, 214));
    p.fillRect(picture.rect(), band);
    p.setPen(QColor(255, 255, 255, 60));
    for (int x = -46; x < 303; x += 8) // a light diagonal weave
        p.drawLine(x, 46, x + 46, 0);
    QFont font(base);
    font.setPixelSize(20);
    font.setBold(true);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(picture.rect().adjusted(12, 0, -8, 0), Qt::AlignVCenter | Qt::AlignLeft, toolkit::kSystemCaption);
    return picture;
}

QLabel* label(QWidget* parent, const char* name, const QString& text, const QRect& geometry)
{
    auto* l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setGeometry(geometry);
    return l;
}

} // namespace

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("关于"));
    // A fixed dialog frame: title and close box, no minimise or maximise button.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFixedSize(354, 239);

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel1->setGeometry(8, 8, 338, 185);

    ProgramBanner = new QLabel(Panel1);
    ProgramBanner->setObjectName(QStringLiteral("ProgramBanner"));
    ProgramBanner->setGeometry(17, 10, 303, 46);
    ProgramBanner->setPixmap(banner(font()));

    Version = label(Panel1, "Version", QStringLiteral("版本号：1.12"), QRect(17, 66, 140, 18));
    UpdateTime = label(Panel1, "UpdateTime", QStringLiteral("更新时间：2003-09-05"), QRect(170, 66, 150, 18));
    ProductName =
        label(Panel1, "ProductName", QStringLiteral("服装车间计件工资的记录、统计与查询"), QRect(17, 94, 303, 18));
    Comments1 = label(Panel1, "Comments1", QStringLiteral("班组、员工与用户权限的维护"), QRect(17, 116, 303, 18));
    Comments2 = label(Panel1, "Comments2", QStringLiteral("产品工序、工价与计件数据的录入"), QRect(17, 138, 303, 18));
    Comments3 =
        label(Panel1, "Comments3", QStringLiteral("工资月度统计、报表打印与数据库备份"), QRect(17, 160, 303, 18));

    OKButton = new QPushButton(QStringLiteral("确定"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setGeometry(139, 204, 75, 25);
    OKButton->setDefault(true);
    OKButton->setFocus();
    connect(OKButton, &QPushButton::clicked, this, &TAboutBox::OKButtonClick);

    // Centred on the screen, not on the owner.
    if (const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void TAboutBox::OKButtonClick()
{
    accept();
}
