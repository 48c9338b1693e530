#pragma once

#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;

// The About box: the program's banner, version and update date, a few lines about the program,
// and "确定", which closes it.
class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget* parent = nullptr);

    QFrame* Panel1;
    QLabel* ProgramBanner;
    QLabel* Version;
    QLabel* UpdateTime;
    QLabel* ProductName;
    QLabel* Comments1;
    QLabel* Comments2;
    QLabel* Comments3;
    QPushButton* OKButton;

private:
    void OKButtonClick();
};

extern TAboutBox* AboutBox;
