#pragma once

#include "toolkit/ChildWindow.h"

#include <QVariant>

class QLabel;
class QLineEdit;
class QPushButton;

namespace toolkit {
class DataGrid;
}

// The work-team window "班组资料": lists the teams of table Dept through the shared look-up
// dataset DmQuery, adds, renames and deletes them. A child window of the main window.
// Its frame has a dialog border with no title-bar buttons (the base's default): it is closed with
// "退出".
class TDeptForm : public toolkit::ChildWindow {
    Q_OBJECT
public:
    explicit TDeptForm(QWidget* parent = nullptr);
    ~TDeptForm() override;

    toolkit::DataGrid* DeptGrid;
    QLabel* Label1;
    QLineEdit* DeptName_Edit;
    QPushButton* cmdadd;
    QPushButton* cmddelete;
    QPushButton* cmdedit;
    QPushButton* cmdexit;

    // Name of the team last picked in the grid; rename and delete act on it.
    QString SelectedDeptName;
    // The picked team's key and version (none on a file) as the list showed them, until this window
    // writes the team.
    QVariant SelectedDeptId;
    QVariant SelectedDeptVersion;

    void DataRefresh();
    void cmdaddClick();
    void cmddeleteClick();
    void cmdeditClick();
    void cmdexitClick() { closeWindow(); }
    void DeptGridMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, const QPoint& pos);

private:
    void FormCreate();
    void buildControls();
    // True when the typed name may be stored: not blank and no team's name. Otherwise the user has
    // been told (and the list reloaded after a look-up).
    bool nameAcceptable(const QString& name);
    // The name-taken test; false when the statement failed.
    bool nameTaken(const QString& name, bool* taken);
    // The key of the team of this name, invalid when there is none; false when the statement failed.
    bool keyOfName(const QString& name, QVariant* id);
};

extern TDeptForm* DeptForm;
