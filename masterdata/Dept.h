#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;

namespace toolkit {
class DataGrid;
}

// The work-team window "班组资料": lists the teams of table Dept through the shared look-up
// dataset DmQuery, adds, renames and deletes them. A child window of the main window.
class TDeptForm : public QWidget {
    Q_OBJECT
public:
    explicit TDeptForm(QWidget* parent = nullptr);
    ~TDeptForm() override;

    // Title-bar buttons of the frame the main window puts this window in: none, the window is
    // closed with "退出".
    static Qt::WindowFlags frameFlags();

    toolkit::DataGrid* DeptGrid;
    QLabel* Label1;
    QLineEdit* DeptName_Edit;
    QPushButton* cmdadd;
    QPushButton* cmddelete;
    QPushButton* cmdedit;
    QPushButton* cmdexit;

    // Name of the team last picked in the grid; rename and delete act on it.
    QString SelectedDeptName;

    void DataRefresh();
    void cmdaddClick();
    void cmddeleteClick();
    void cmdeditClick();
    void cmdexitClick();
    void DeptGridMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, const QPoint& pos);

    QSize sizeHint() const override { return minimumSize(); }

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void FormCreate();
    void FormClose();
    void FormResize();
    void buildControls();
    // The name-taken test; false when the statement failed.
    bool nameTaken(const QString& name, bool* taken);
};

extern TDeptForm* DeptForm;
