#pragma once

#include "data/Dialect.h"
#include "toolkit/ChildWindow.h"

#include <QDate>
#include <QString>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTabWidget;
class QWidget;

namespace data {
class DataSet;
class DataSource;
} // namespace data
namespace toolkit {
class DataGrid;
class Report;
} // namespace toolkit

// The worker at the team and machine place chosen on the page "按员工查询", found by the look-up
// that follows each choice of either; empty while none is found or either is not chosen.
extern QString MachineWorkerName;

// The statements of the query window, shared with the benchmark. Every value is bound; a month is
// the date range from its first day to the first day of the next month.
namespace querysql {
// Every detail list: the records with a step row and a style row, with the amount as Expr1011.
extern const QString kDetail;
// The wage per worker, team and machine place (Expr1003) over one month, stored prices, highest
// first: two values, the first day of the month and of the next one.
QString summaryMonth(data::Dialect dialect);
// The same over all months.
extern const QString kSummaryAll;
// All months priced at the current list prices, in the engine's order.
extern const QString kSummaryListPrice;
} // namespace querysql

// The window "查询统计": four searches over the piece-work records (by worker, style, team and free
// text) and the monthly detail list in the detail grid over DM->SalaryQuery, and the monthly wage
// summary per worker in the summary grid over DM->SalaryMonthQuery. Both grids lie over the upper
// part of every page; the summary grid shows only on the last page. "打印" previews the detail report
// or, on the last page, the monthly wage report over the rows shown, in their displayed order.
class TQueryForm : public toolkit::ChildWindow {
    Q_OBJECT
public:
    explicit TQueryForm(QWidget* parent = nullptr);
    ~TQueryForm() override; // clears QueryForm when it is this window

    Qt::WindowFlags frameFlags() const override;

    QTabWidget* RzPage;
    QWidget* WorkerSheet;
    QWidget* KindSheet;
    QWidget* DeptSheet;
    QWidget* QSearchSheet;
    QWidget* MonthSheet;
    QWidget* SalaryMonth_Sheet;

    toolkit::DataGrid* SalaryGrid;
    toolkit::DataGrid* SalaryMonthGrid;

    // Page 0 "按员工查询".
    QRadioButton* M_Radio;
    QLabel* Label1;
    QComboBox* Dept_ComboBox;
    QLabel* Label11;
    QComboBox* Machine_ComboBox;
    QRadioButton* W_Radio;
    QLabel* Label12;
    QComboBox* WorkerName_ComboBox;
    QPushButton* SearchWorker;
    QPushButton* RefreshWorker;
    QPushButton* CmdPrint;
    QPushButton* cmdExit;

    // Page 1 "按款式号查询".
    QLabel* Label3;
    QComboBox* Kind_ComboBox;
    QComboBox* Process_ComboBox;
    QPushButton* SearchKind;
    QPushButton* RefreshKind;
    QPushButton* BitBtn5;
    QPushButton* BitBtn6;

    // Page 2 "按班组查询".
    QLabel* Label2;
    QComboBox* DeptName_ComboBox;
    QPushButton* SerachDept;
    QPushButton* RefreshDept;
    QPushButton* BitBtn4;
    QPushButton* DeptExit;

    // Page 3 "快速查询".
    QLabel* Label4;
    QLineEdit* Qsearch_Edit;
    QPushButton* Qsearch;
    QPushButton* RefreshQsearch;
    QPushButton* BitBtn7;
    QPushButton* QsearchExit;

    // Page 4 "月度统计细表".
    QLabel* Label5;
    QSpinBox* year_edit;
    QLabel* Label6;
    QSpinBox* month_edit;
    QLabel* Label7;
    QComboBox* Worker_ComboBox;
    QPushButton* MonthSearch;
    QPushButton* Monthrefresh;
    QPushButton* BitBtn8;
    QPushButton* MonthExit;

    // Page 5 "工资月度统计".
    QLabel* Label8;
    QSpinBox* year_edit_s;
    QLabel* Label9;
    QSpinBox* month_edit_s;
    QLabel* Label10;
    QPushButton* SalaryMonth_search;
    QPushButton* SalaryMonth_refresh;
    QPushButton* SalaryMonth_print;
    QPushButton* BitBtn9;

    void Datafresh();
    void RzPageChange(int index);
    // A choice of team or place finds the worker at that place of that team again.
    void Dept_ComboBoxChange();
    void Machine_ComboBoxChange();
    void Kind_ComboBoxChange();
    void SearchWorkerClick();
    void SearchKindClick();
    void SerachDeptClick();
    void QsearchClick();
    void MonthSearchClick();
    void SalaryMonth_searchClick();
    void RefreshWorkerClick();
    void SalaryMonth_refreshClick();
    void month_editChange(const QString& text);
    void month_edit_sChange(const QString& text);
    void CmdPrintClick();
    void SalaryMonth_printClick();
    void cmdExitClick() { closeWindow(); }

    // The first day of the month the year and month edits of a page show.
    static QDate chosenMonth(const QSpinBox* year, const QSpinBox* month);

private:
    void FormCreate();
    void buildGrids();
    void buildWorkerPage();
    void buildKindPage();
    void buildDeptPage();
    void buildQuickPage();
    void buildMonthPage();
    void buildSummaryPage();
    // The four buttons "查询", "刷新", "打印", "退出" that end every page.
    void addPageButtons(QWidget* page, int y, QPushButton** search, const QString& searchName, QPushButton** refresh,
                        const QString& refreshName, QPushButton** print, const QString& printName, QPushButton** exit,
                        const QString& exitName);
    void fillWorkerPageLists();
    // Sets MachineWorkerName from the chosen team and place; the message when no worker sits there.
    void findMachineWorker();
    // Runs a detail statement on SalaryQuery, with the busy cursor.
    void openDetail(const QString& sql, const QVariantList& params = {});
    void openSummary(const QString& sql, const QVariantList& params = {});
    void showDetailGrid(bool detail);
    void showPreview(toolkit::Report* report);

public:
    // Page 6 "超产品件数": the steps whose recorded pieces exceed their style's piece count, with
    // the workers who recorded them, for the chosen month or, with "全部月份", for all months.
    QWidget* OverClaimSheet;
    toolkit::DataGrid* OverClaimGrid;
    QLabel* OverClaimDate_Label;
    QSpinBox* year_edit_o;
    QLabel* OverClaimYear_Label;
    QSpinBox* month_edit_o;
    QLabel* OverClaimMonth_Label;
    QCheckBox* AllMonths_Check;
    QPushButton* OverClaim_search;
    QPushButton* OverClaimExit;

    void OverClaim_searchClick();
    void AllMonths_CheckClick(bool checked);
    void month_edit_oChange(const QString& text);

private:
    void buildOverClaimPage();
    // The page shown: the current month's list in its grid, the other two grids hidden.
    void showOverClaimPage();

    // The page's own list (on the data module's connection) and the source its grid shows.
    data::DataSet* m_overClaimQuery = nullptr;
    data::DataSource* m_overClaimSource = nullptr;

public:
    // Wage slips: "工资条" on the wage summary page prints every worker's slip of the month its edits
    // show; on page 0 "按员工查询" it prints the slips of the worker its search names, for the month
    // of the page's own year and month edits.
    QPushButton* SalarySlip_print;
    QLabel* SlipMonthLabel;
    QSpinBox* slip_year_edit;
    QLabel* SlipYearUnit;
    QSpinBox* slip_month_edit;
    QLabel* SlipMonthUnit;
    QPushButton* WorkerSlip_print;
    void SalarySlip_printClick();
    void WorkerSlip_printClick();

private:
    void buildSlipControls();
    // The worker the search of page 0 names, as its "查询" finds him; empty (after the box) when none.
    QString searchedWorker();
    void printSlips(const QDate& month, const QString& worker);
};

extern TQueryForm* QueryForm;

namespace querysql {
// One row per style, step, worker and team where the step's pieces (Claimed) exceed the style's
// piece count by Excess, with the worker's own pieces (Pieces); largest excess first. With month,
// two values: the first day of the month and of the next one; only that month's records count.
QString overClaim(data::Dialect dialect, bool month);
} // namespace querysql
