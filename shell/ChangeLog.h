#pragma once

#include "toolkit/ChildWindow.h"

#include <QDate>
#include <QString>
#include <QVariantList>

class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace data {
class DataSet;
class DataSource;
} // namespace data

namespace toolkit {
class DataGrid;
}

// "修改记录", for the administrator: the lines of the change record, newest first, read only. The
// filters narrow them by day (both ends inclusive), user, kind of change and a text that the table,
// key, values or note contain; "查询" reads the list again with them. The list exports through its
// context menu as every list does.
class TChangeLogForm : public toolkit::ChildWindow {
    Q_OBJECT
public:
    explicit TChangeLogForm(QWidget* parent = nullptr);
    ~TChangeLogForm() override;

    QLabel* DateLabel;
    QDateEdit* DateFrom;
    QLabel* ToLabel;
    QDateEdit* DateTo;
    QLabel* UserLabel;
    QComboBox* UserName_ComboBox;
    QLabel* KindLabel;
    QComboBox* Kind_ComboBox;
    QLabel* TextLabel;
    QLineEdit* Text_Edit;
    QPushButton* cmdsearch;
    toolkit::DataGrid* LogGrid;
    // The current line's values before and after and its note in full, which the grid's cells cut.
    QPlainTextEdit* LineDetail;
    QPushButton* cmdexit;
    data::DataSet* LogQuery;
    data::DataSource* LogSource;

    void DataRefresh();
    void cmdsearchClick() { DataRefresh(); }
    void cmdexitClick() { closeWindow(); }

    // The statement and its values for the filters as given (an empty user, kind "全部" or empty
    // text: no condition of that kind).
    static QString searchSql(const QDate& from, const QDate& to, const QString& user, const QString& kind,
                             const QString& text, QVariantList* params);

private:
    void buildControls();
    void FormCreate();
    void fillUsers();
    void showLineDetail();
};

extern TChangeLogForm* ChangeLogForm;
