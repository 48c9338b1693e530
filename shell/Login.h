#pragma once

#include "data/LoginIdentity.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class TDM;

// The login window. Creating it runs the start-up steps (single-instance guard, first-start set-up,
// database header, the login's own data module); it accepts after a successful login.
class TLoginForm : public QDialog {
    Q_OBJECT
public:
    explicit TLoginForm(QWidget* parent = nullptr);

    int failCount() const { return FailCount; }

    QLabel* User_Label;
    QLineEdit* User_edit;
    QLabel* Password_Label;
    QLineEdit* Password_edit;
    QPushButton* CmdLogin;
    QPushButton* CmdExit;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    void buildControls();
    void CmdLoginClick();
    void CmdExitClick();
    void loginFailed(QLineEdit* focusField);
    // Takes the user as logged in and ends the dialog.
    void loggedIn(const QString& user, const QString& role);

    int FailCount = 0;
    TDM* m_dm = nullptr;
};

extern TLoginForm* LoginForm;
