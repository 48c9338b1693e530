#pragma once

#include <QDialog>
#include <QPointer>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class TPasswordForm;

// The add/edit user window "用户管理": a separate window on top of the others, opened by the user
// list for one account at a time and shown without blocking. What it does follows UserFormMode,
// read when it is created (the edit layout) and again when "保存" is pressed (update or insert).
// Closing it only hides it; it goes together with the user list that owns it.
class TUserForm : public QDialog {
    Q_OBJECT
public:
    explicit TUserForm(TPasswordForm* owner);
    ~TUserForm() override;

    QLabel* User_Label;
    QLineEdit* UserName_Edit;
    QLabel* PasswordLabel;
    QLineEdit* Password_Edit;
    QLabel* Role_Label;
    QComboBox* Role_ComboBox;
    QLabel* NewPassword_Label;
    QLineEdit* NewPassword_Edit;
    QPushButton* cmdok;
    QPushButton* cmdexit;

    void DataRefresh();
    void cmdokClick();
    void cmdexitClick();

public slots:
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate();
    void FormClose();
    void buildControls();
    void saveEdit();
    void saveNew();

    QPointer<TPasswordForm> m_owner;
};

// The newest add/edit user window, or nullptr.
extern TUserForm* UserForm;
