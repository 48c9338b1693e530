#pragma once

#include "toolkit/ChildWindow.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

// "数据库连接": which database this PC works with, the data folder's database file or a database
// server, for the administrator. It shows the one in use, tests a server before it is chosen and
// saves the choice as the data source; the windows open on the former database are closed and the
// data module's connection with them, so the next action works on the new one.
class TConnectForm : public toolkit::ChildWindow {
    Q_OBJECT
public:
    explicit TConnectForm(QWidget* parent = nullptr);
    ~TConnectForm() override;

    QLabel* CurrentLabel;
    QLabel* CurrentSource;
    QRadioButton* FileRadio;
    QLabel* FilePath;
    QRadioButton* ServerRadio;
    QLineEdit* ServerEdit;
    QLabel* ServerHint;
    QPushButton* cmdtest;
    QPushButton* cmdsave;
    QPushButton* cmdexit;

    void cmdtestClick();
    void cmdsaveClick();
    void cmdexitClick() { closeWindow(); }

private:
    void buildControls();
    void showCurrentSource();
    // The server URI typed, once it is one that may be tried; otherwise the user has been told why.
    bool typedServer(QString* uri);
    // Closes every other child window of the main window; false when one refuses to close.
    bool closeOtherWindows();
};

extern TConnectForm* ConnectForm;
