#pragma once

#include "toolkit/ChildWindow.h"

#include <QVariant>

class QPushButton;

namespace toolkit {
class DataGrid;
}

// What an add/edit user window does: add an account, or edit the account picked in the list.
enum class UserMode { Add = 0, Edit = 1 };

// What the next add/edit user window does, and what "保存" does in every open one. One value for
// the whole program: "新增" sets Add, "编辑" sets Edit, closing any add/edit window sets Add.
extern UserMode UserFormMode;

// Loads the accounts the logged-in user may see into UserQuery: an ordinary operator sees only
// the own account, any other role every account.
bool LoadUserList();

// The user list "用户权限管理": the login accounts through the shared dataset UserQuery, with
// adding, deleting and editing (in add/edit windows of its own). A child window of the main window
// with a fixed border and the usual title-bar buttons (a maximized state is undone at once).
class TPasswordForm : public toolkit::ChildWindow {
    Q_OBJECT
public:
    explicit TPasswordForm(QWidget* parent = nullptr);
    ~TPasswordForm() override;

    Qt::WindowFlags frameFlags() const override;

    toolkit::DataGrid* UserGrid;
    QPushButton* cmdadd;
    QPushButton* cmddelete;
    QPushButton* cmdedit;
    QPushButton* cmdexit;

    // Number of the account last picked in the grid, read from the record's id field (null while
    // nothing has been picked); edit and delete act on it.
    QVariant SelectedUserId;

    void DataRefresh();
    void cmdaddClick();
    void cmddeleteClick();
    void cmdeditClick();
    void cmdexitClick() { closeWindow(); }
    void UserGridMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, const QPoint& pos);

private:
    void FormCreate();
    void buildControls();
    void openUserForm(UserMode mode);
};

extern TPasswordForm* PasswordForm;
