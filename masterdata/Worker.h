#pragma once

#include "toolkit/ChildWindow.h"

#include <QVariant>

class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;

namespace toolkit {
class DataGrid;
}

// The worker window "员工资料": lists the workers with their team names through the shared
// dataset WorkerQuery, adds, edits, deletes and searches them. A child window of the main window.
class TWorkerForm : public toolkit::ChildWindow {
    Q_OBJECT
public:
    explicit TWorkerForm(QWidget* parent = nullptr);
    ~TWorkerForm() override;

    // Title-bar buttons of the frame the main window puts this window in: the close box only.
    Qt::WindowFlags frameFlags() const override;

    toolkit::DataGrid* WorkerGrid;
    QLabel* Worker_Label;
    QLineEdit* WorkerName_Edit;
    QLabel* DeptName_Label;
    QComboBox* DeptName_ComboBox;
    QLabel* Machine_Label;
    QComboBox* Machine_Combobox;
    QLabel* EnterDate_Label;
    QDateEdit* EnterDatePicker;
    QPushButton* cmdadd;
    QPushButton* cmddelete;
    QPushButton* cmdedit;
    QPushButton* cmdexit;
    QLineEdit* Searchtxt;
    QPushButton* cmdsearch;

    // Number of the worker last picked in the grid, read from the record's id field (null while
    // nothing has been picked); edit and delete act on it.
    QVariant SelectedWorkerId;
    // The picked worker's version as the list showed it (none on a file); edit writes the worker
    // only while it holds this version.
    QVariant SelectedWorkerVersion;

    void DataRefresh();
    void cmdaddClick();
    void cmddeleteClick();
    void cmdeditClick();
    void cmdsearchClick();
    void cmdexitClick() { closeWindow(); }
    void WorkerGridMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, const QPoint& pos);
    void WorkerName_EditKeyPress();

private:
    void FormCreate();
    void buildControls();
    // Fills the team list from table Dept, nothing chosen.
    void loadTeamNames();
    // The checks both add and edit start with: name and team, then machine place.
    bool inputComplete();
    // The chosen team's number, looked up inside the save's transaction: on a server the team's row
    // then stays as read (neither renamed away nor deleted) until the save ends, so that a worker
    // never lands under a team that is gone. False when the look-up failed (the helper has said so)
    // or, with *gone set, when the team no longer exists.
    bool teamNumber(qlonglong* number, bool* gone);
    // Tells the user that the chosen team has gone and reads the team list again.
    void teamGone();
    void clearEntry();
};

extern TWorkerForm* WorkerForm;
