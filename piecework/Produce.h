#pragma once

#include "toolkit/ChildWindow.h"

#include <QDate>
#include <QHash>
#include <QList>
#include <QPointer>
#include <QVariant>

#include <functional>

class QDateEdit;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTabWidget;
class QWidget;

namespace data {
class DataSet;
}
namespace toolkit {
class DataGrid;
}

// ---- Price application -----------------------------------------------------------------------------
// The statements that write step names and prices into the piece-work records, shared by the
// product window and the benchmark. Each runs in one transaction: a failure has been reported in
// the standard box and leaves the database as it was.

// A step row of the step list whose name or price the user changed.
struct StepChange {
    QVariant id;
    QVariant name;  // text, or empty (null)
    QVariant price; // a number, or empty (null) for an unpriced step
    // The row's version when the step list was read (none on a file): the row is written only
    // while it still holds it.
    QVariant version;
};

// Writes the current names and prices of the steps 工序1..steps of the style numbered kind into
// its records of the month of anyDay (one set-based statement, run on query). Joins the caller's
// transaction, which has checked that the month is open. One statement first reads how many records
// of the style the month has and their wage total before and after; a style without records there
// is passed over, otherwise the application leaves one change line (change::kApplyPrices, table
// Salary, key kind; before and after {"Month","Records","WageTotal"}; note "yyyy-MM月份，N条计件记录").
bool ApplyStylePrices(data::DataSet* query, const QString& kind, qint64 steps, const QDate& anyDay);

// What a price application will do to a month, read before it is made.
struct PricePreviewRow {
    QString dept, machine, worker;
    qint64 records = 0; // the worker's records the application rewrites
    double before = 0;  // the worker's wage of the month as stored
    double after = 0;   // the same once the prices are applied
};
struct PricePreview {
    qint64 records = 0;     // records the application rewrites
    double totalBefore = 0; // the month's wage total, every worker's
    double totalAfter = 0;
    // The workers with records the application rewrites, the largest change (either way) first.
    QList<PricePreviewRow> workers;
};
// The same workers, records and amounts (to a thousandth of a fen), whatever the order.
bool SamePreview(const PricePreview& a, const PricePreview& b);

// The preview of "保存": the step rows of changes with their typed prices in place of the stored
// ones, applied to the month of anyDay for the style with key productId. One statement over the
// month's records; nothing is written. False after the failure box.
bool PreviewStylePrices(const QVariant& productId, const QList<StepChange>& changes, const QDate& anyDay,
                        PricePreview* preview);
// The preview of "批量更新工序单价": every style's stored prices applied to the month. One statement.
bool PreviewMonthPrices(const QDate& anyDay, PricePreview* preview);

// The box shown when the month's records or prices changed between a preview and its application.
inline const QString kPreviewOutdated = QStringLiteral("对不起，数据已被其他用户修改，请重新预览!");

// "保存": writes the changed step rows, then applies the names and prices now stored for the style
// with key productId to its records of the month; one transaction, refused for a closed month, with
// a change line for each step row written (change::kEditStep) and the application's line. A step row that another clerk
// changed since it was read refuses the whole save (the box says so).
// With shown (the preview the user accepted), the same preview is read again under the month's lock
// first; when it differs, nothing is written and kPreviewOutdated is shown.
bool SaveStylePrices(const QVariant& productId, const QList<StepChange>& changes, const QDate& anyDay,
                     const PricePreview* shown = nullptr);

// "批量更新工序单价": applies the stored names and prices of every style to the records of the month,
// style after style in key order, in one transaction; refused for a closed month (nothing written). progress(done,
// total) is called once before the first style (done 0) and after each style.
// shown: as for SaveStylePrices.
bool ApplyMonthPrices(const QDate& anyDay, const std::function<void(int done, int total)>& progress = {},
                      const PricePreview* shown = nullptr);

// ---- The window ------------------------------------------------------------------------------------

// The window "产品工序": the product styles with their process steps. The tab "产品款式" lists,
// adds, edits, deletes and searches the styles (ProduceQuery); the tab "产品工序" shows the steps of
// the chosen style (ProcessDataSet) for naming and pricing them, and saves them together with their
// application to a month's piece-work records.
class TProduceForm : public toolkit::ChildWindow {
    Q_OBJECT
public:
    explicit TProduceForm(QWidget* parent = nullptr);
    ~TProduceForm() override; // clears ProduceForm when it is this window

    // A new product window owned by the entry window `owner`, also when one is open already:
    // registered as ProduceForm, marked as opened from entry, presented in the workspace.
    // Closing the owner (its ChildWindow::closed signal, or its destruction) closes this
    // window without asking the owner to reload.
    static TProduceForm* OpenFromEntry(toolkit::ChildWindow* owner);
    bool OpenedFromEntry = false;

    QTabWidget* RzPage;
    QWidget* ProductSheet;
    QWidget* ProcessSheet;

    // Tab "产品款式".
    toolkit::DataGrid* ProductGrid;
    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    QLabel* Label4;
    QLabel* Label5;
    QLineEdit* Kind_Edit;
    QLineEdit* Process_Edit;
    QLineEdit* KindName_Edit;
    QLineEdit* ProductCount_Edit;
    QDateEdit* ProductPicker;
    QPushButton* cmdadd;
    QPushButton* cmddelete;
    QPushButton* cmdedit;
    QPushButton* cmdexit;
    QLineEdit* Searchtxt;
    QPushButton* cmdsearch;
    QPushButton* Button1;
    QProgressBar* ProgressBar;

    // Tab "产品工序".
    toolkit::DataGrid* ProcessGrid;
    QLabel* Label6;
    QLabel* Label7;
    QLabel* Label8;
    QSpinBox* year_edit_s;
    QSpinBox* month_edit_s;
    QPushButton* Process_cmdsave;
    QPushButton* process_cmdexit;

    // The chosen style: the key, number and step count (as text) of the row last clicked in the
    // style list. No key: no style chosen.
    QVariant SelectedId;
    QString SelectedKind;
    QString SelectedProcess;
    // The chosen style's version as the list showed it (none on a file), until this window writes
    // or deletes the style: edit writes the style only while it holds this version.
    QVariant SelectedVersion;

    void DataRefresh();
    void ProductGridMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, const QPoint& pos);
    void ProductGridDblClick();
    void Kind_EditKeyPress();
    void Process_EditKeyPress();
    void KindName_EditKeyPress();
    void cmdaddClick();
    void cmddeleteClick();
    void cmdeditClick();
    void cmdsearchClick();
    void Button1Click();
    void RzPageChange();
    void month_edit_sChange(const QString& text);
    void Process_cmdsaveClick();

signals:
    // Emitted when a window still marked as opened from entry closes: the owner reloads
    // as at its opening.
    void entryReloadRequested();

protected:
    void FormClose() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    void buildStyleTab();
    void buildStepTab();
    void clearStyleFields();
    // The checks of the style fields shared by add and edit; false after the refusal box.
    bool styleFieldsValid();
    // The style number is used by a style other than exceptId (invalid: any style); false when the
    // statement failed.
    bool kindTaken(const QString& kind, const QVariant& exceptId, bool* taken);
    void loadSteps();
    // The changed step rows of the step list; false after the refusal box of a bad price.
    bool collectStepChanges(QList<StepChange>* changes);
    void setProgramWindowsEnabled(bool enabled);

    // The names, prices and versions of the step rows as loaded, by key: what "保存" compares with,
    // and the versions it writes against.
    struct LoadedStep {
        QVariant name, price, version;
    };
    QHash<qlonglong, LoadedStep> m_loadedSteps;
    // While the bulk update runs: the program's windows, which take no input, and the controls
    // greyed out in them.
    QList<QWidget*> m_blockedWindows;
    QList<QPointer<QWidget>> m_disabledWidgets;
    bool m_bulkRunning = false;
};

extern TProduceForm* ProduceForm;
