#pragma once

#include "toolkit/ChildWindow.h"

#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;

namespace data {
class DataSet;
class DataSource;
} // namespace data

namespace toolkit {
class DataGrid;
}

// "月度结账", for the administrator: every month that has records, newest first, with its record
// count, wage total and whether it is closed (by whom, when); a month closed after its records were
// deleted still shows. "结账" closes the picked month, "反结账" opens it again with a reason. Each
// change checks the month under its price lock and writes its change line in the same transaction.
class TMonthCloseForm : public toolkit::ChildWindow {
    Q_OBJECT
public:
    explicit TMonthCloseForm(QWidget* parent = nullptr);
    ~TMonthCloseForm() override;

    toolkit::DataGrid* MonthGrid;
    QLabel* ReasonLabel;
    QLineEdit* ReopenReason;
    QPushButton* cmdclose;
    QPushButton* cmdreopen;
    QPushButton* cmdexit;
    // The months list, and the window's statements inside a change, on the data module's connection.
    data::DataSet* MonthQuery;
    data::DataSource* MonthSource;
    data::DataSet* WorkQuery;

    // Reads the list again; the month given (yyyy-MM) stays picked when it is still listed, otherwise
    // nothing is picked.
    void DataRefresh(const QString& keepMonth = QString());
    void cmdcloseClick();
    void cmdreopenClick();
    void cmdexitClick() { closeWindow(); }

    // A month "yyyy-MM" as the boxes name it: "2026年10月".
    static QString monthCaption(const QString& month);

private:
    void buildControls();
    void FormCreate();
    // The list row the user picked (a selected row of the grid), or -1.
    int pickedRow() const;
    QString monthAt(int row) const;
    bool isClosed(int row) const;
    bool closeMonth(const QString& month);
    bool reopenMonth(const QString& month, const QString& reason);
};

extern TMonthCloseForm* MonthCloseForm;
