#pragma once

#include <QWidget>

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
class TWorkerForm : public QWidget {
    Q_OBJECT
public:
    explicit TWorkerForm(QWidget* parent = nullptr);
    ~TWorkerForm() override;

    // Title-bar buttons of the frame the main window puts this window in: the close box only.
    static Qt::WindowFlags frameFlags();

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

    // Number (as text) of the worker last picked in the grid; edit and delete act on it.
    QString SelectedWorkerId;

    void DataRefresh();
    void cmdaddClick();
    void cmddeleteClick();
    void cmdeditClick();
    void cmdsearchClick();
    void cmdexitClick();
    void WorkerGridMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, const QPoint& pos);
    void WorkerName_EditKeyPress();

    QSize sizeHint() const override { return minimumSize(); }

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void FormCreate();
    void FormClose();
    void FormResize();
    void buildControls();
    // The checks both add and edit start with: name and team, then machine place.
    bool inputComplete();
    // The chosen team's number, 0 when the team no longer exists; false when the look-up failed.
    bool teamNumber(qlonglong* number);
    void clearEntry();
};

extern TWorkerForm* WorkerForm;
