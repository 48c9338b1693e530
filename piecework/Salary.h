#pragma once

#include "data/Dialect.h"
#include "toolkit/ChildWindow.h"

#include <QStringList>
#include <QVariant>

class QComboBox;
class QDateEdit;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace data {
class DataSet;
}
namespace toolkit {
class DataGrid;
}

// The piece-work entry window "计件数据": records which worker (found from team and machine place)
// did how many pieces of which step of which style, in which size, on which day. Lists the records
// through the shared dataset DataAddQuery, newest first; a click loads a record for editing or
// deleting; the list can be searched by machine place and style.
class TDataAddForm : public toolkit::ChildWindow {
    Q_OBJECT
public:
    explicit TDataAddForm(QWidget* parent = nullptr);
    ~TDataAddForm() override; // clears DataAddForm when it is this window

    // A resizable frame with a maximize button; the resize rule undoes maximizing at once.
    Qt::WindowFlags frameFlags() const override;

    toolkit::DataGrid* SalaryGrid;

    QGroupBox* GroupBox1; // "计件数据"
    QLabel* DeptName_Label;
    QComboBox* DeptName_ComboBox;
    QLabel* Machine_Label;
    QComboBox* Machine_Combobox;
    QLabel* Kind_Label;
    QComboBox* Kind_ComboBox;
    QLabel* Process_Label;
    QComboBox* Process_combobox;
    QLabel* Size_Label;
    QLineEdit* process_size;
    QLabel* Date_Label;
    QDateEdit* ProcessDate;
    QLabel* Count_Label;
    QLineEdit* ProcessCount;

    QGroupBox* GroupBox2; // "查询"
    QLabel* Machine2_Label;
    QComboBox* machine_ComboBox2;
    QLabel* Kind2_Label;
    QComboBox* Kind_ComboBox2;
    QPushButton* cmdsearch;
    QPushButton* Refresh;

    QPushButton* cmdadd;
    QPushButton* cmddel;
    QPushButton* cmdedit;
    QPushButton* NewProduct;
    QPushButton* cmdexit;

    // What goes into a record besides the drop-downs' texts: set by the look-ups that follow a
    // choice, or taken from a clicked record. A clicked record keeps the worker it was stored with
    // (who did the work) until the team or the place is chosen again.
    QString WorkerName;
    QString KindName;
    QString ProcessName;
    // Key of the record last clicked (invalid while none was); edit and delete act on it.
    QVariant ClickedId;
    // The version of the picked record as the list showed it (empty on a file).
    QVariant ClickedVersion;
    // The last search ("查询"): statement and values; an empty statement while none was made.
    QString SearchSql;
    QVariantList SearchParams;
    // The sort text of the last title click on the record grid ("ProcessDate DESC").
    QString SortText;
    // The sum of the quantities added up with "+" in the quantity box.
    qint64 RunningTotal = 0;

    // Loads the record list with the statement, or with the default list when it is empty.
    void DataRefresh(const QString& sql = QString(), const QVariantList& params = {});
    // The opening steps, run again when a product window opened from here closes.
    void FormCreate();

    // A choice of team or place finds the worker at that place of that team again.
    void DeptName_ComboBoxChange();
    void Machine_ComboboxChange();
    void Kind_ComboBoxChange();
    void Process_comboboxChange();
    // A key typed into the quantity box; true when the key is dealt with and must not be typed.
    bool ProcessCountKeyPress(int key);
    void SalaryGridMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, const QPoint& pos);
    void SalaryGridTitleClick(int column, const QString& sortText);
    void cmdaddClick();
    void cmdeditClick();
    void cmddelClick();
    void cmdsearchClick();
    void RefreshClick();
    void NewProductClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    // The worker at the chosen place of the chosen team, or none.
    void findWorker();
    // The checks of add and edit. False after the refusal box.
    bool fieldsValid();
    // Values of a record from the fields, in the column order of the insert and update; false
    // after the refusal box of a size that is not a number.
    bool recordValues(QVariantList* values);
    void clearChoices();
    // The question before a save that takes a step of a style past the style's piece count: Save
    // when the record may be saved (no question, or the answer Yes), No for the answer No, Failed
    // after the failure box of its statements. exceptId is the key of the record being edited
    // (invalid for an add), whose stored pieces give way to the typed ones.
    enum class OverClaim { Save, No, Failed };
    OverClaim overClaimAccepted(const QVariant& exceptId);
    // The check before an add or edit; false when nothing is to be saved (after the "not saved"
    // box when the check failed).
    bool overClaimAllowsSave(const QVariant& exceptId);
    // After a change of the record with this key: the list with the remembered search (or the
    // default list), patched in place where it still holds that statement's result.
    void reloadAfterChange(const QVariant& changedKey, int changes);

    // The window's writes run here, on the data module's connection, so that the list in
    // DataAddQuery stays loaded and is patched instead of read again.
    data::DataSet* m_write;
    // The last search's conditions and sort, from which its statement was built.
    QStringList m_searchConditions;
    QString m_searchSort;
};

extern TDataAddForm* DataAddForm;

// The pieces recorded for one step of a style against the style's piece count ("产品件数").
struct StepClaim {
    qint64 limit = 0;  // the style's piece count; 0 (or none): no limit
    qint64 total = 0;  // pieces of the step over all records, the record being saved included
    QString topWorker; // who recorded most pieces of the step, the record being saved counted
    qint64 topCount = 0;
    bool over() const { return limit > 0 && total > limit; }
};

// Reads the claim of step of style kind as it will be once a record of worker with count pieces is
// saved; the record with key exceptId (an edited one) counts only with those new pieces. Runs its
// statements on query; false after the failure box.
bool ReadStepClaim(data::DataSet* query, const QString& kind, const QString& step, const QVariant& exceptId,
                   const QString& worker, qint64 count, StepClaim* claim);
// The statements of the check, shared with the benchmark: the style's piece count (one value, the
// style), and the step's pieces per worker (three values: style, step, and the key of a record left
// out, 0 for none).
namespace stepclaim {
extern const QString kStyleCount;
QString workers(data::Dialect dialect);
} // namespace stepclaim

// The question asked before such a save, with who recorded most on its second line.
QString OverClaimQuestion(const QString& step, const StepClaim& claim);
