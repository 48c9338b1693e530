#pragma once

#include <QWidget>

class QPushButton;

namespace toolkit {
class DataGrid;
}

// What the next add/edit user window does, and what "保存" does in every open one: 0 adds an
// account, 1 edits the account picked in the user list. One value for the whole program: "新增"
// sets 0, "编辑" sets 1, closing any add/edit window sets 0.
extern int UserFormMode;

// Loads the accounts the logged-in user may see into UserQuery: an ordinary operator
// ("普通操作员") sees only the own account, any other role every account.
bool LoadUserList();

// The user list "用户权限管理": the login accounts through the shared dataset UserQuery, with
// adding, deleting and editing (in add/edit windows of its own). A child window of the main window.
class TPasswordForm : public QWidget {
    Q_OBJECT
public:
    explicit TPasswordForm(QWidget* parent = nullptr);
    ~TPasswordForm() override;

    toolkit::DataGrid* UserGrid;
    QPushButton* cmdadd;
    QPushButton* cmddelete;
    QPushButton* cmdedit;
    QPushButton* cmdexit;

    // Number (as text) of the account last picked in the grid; edit and delete act on it.
    QString SelectedUserId;

    void DataRefresh();
    void cmdaddClick();
    void cmddeleteClick();
    void cmdeditClick();
    void cmdexitClick();
    void UserGridMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, const QPoint& pos);

    QSize sizeHint() const override { return minimumSize(); }

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void FormCreate();
    void FormClose();
    void FormResize();
    void buildControls();
    void openUserForm(int mode);
};

extern TPasswordForm* PasswordForm;
