#pragma once

#include "toolkit/ChildWindow.h"

class QPushButton;

namespace data {
class DataSet;
class DataSource;
} // namespace data

namespace toolkit {
class DataGrid;
}

// "在线用户": who is connected to the program's database on the server, for the administrator.
// Each connection shows its clerk and PC (from the name the program gives its connections; any
// other program's connection shows its own name as the clerk), the client's address, when it
// connected (local time), what it is doing, and which is this program's own. "刷新" reads the
// list again. A database file has no other users: there the window refuses and closes.
class TOnlineForm : public toolkit::ChildWindow {
    Q_OBJECT
public:
    explicit TOnlineForm(QWidget* parent = nullptr);
    ~TOnlineForm() override;

    toolkit::DataGrid* OnlineGrid;
    QPushButton* cmdrefresh;
    QPushButton* cmdexit;
    // The window's own list of connections, on the data module's connection.
    data::DataSet* OnlineQuery;
    data::DataSource* OnlineSource;

    void DataRefresh();
    void cmdrefreshClick() { DataRefresh(); }
    void cmdexitClick() { closeWindow(); }

    // Tells the user that the list needs a database server and returns true when the data source
    // names none.
    static bool refuseWithoutServer();

    // The state of a connection as the server names it, in the user's words.
    static QString stateText(const QString& state, bool known);

private:
    void FormCreate();
    void buildControls();
    // Fills the columns the user reads from what the server gave.
    void fillShownColumns();
};

extern TOnlineForm* OnlineForm;
