#pragma once

#include "data/Connection.h"
#include "data/DataSet.h"
#include "data/DataSource.h"

#include <QObject>
#include <QTimer>

// The data module: the shared datasets every window works through, each with the data source that
// grids and reports bind to. Its connection opens on the first statement. On a server that
// announces changes, the lists among its datasets that follow (DataSet::follow) take other clerks'
// changes a moment after they commit. Creating a module makes
// it the current one (DM); releasing the current one clears DM.
class TDM : public QObject {
    Q_OBJECT
public:
    explicit TDM(QObject* owner = nullptr);
    ~TDM() override;

    data::Connection* connection() { return &m_connection; }
    QList<data::DataSet*> dataSets() const;

    data::DataSet* DmQuery;
    data::DataSet* WorkerQuery;
    data::DataSet* UserQuery;
    data::DataSet* ProduceQuery;
    data::DataSet* ProcessDataSet;
    data::DataSet* SalaryQuery;
    data::DataSet* SalaryMonthQuery;
    data::DataSet* DataAddQuery;

    data::DataSource* DmSource;
    data::DataSource* WorkSource;
    data::DataSource* UserSource;
    data::DataSource* ProduceSource;
    data::DataSource* ProcessSource;
    data::DataSource* SalarySource;
    data::DataSource* SalaryMonth;
    data::DataSource* DataAddSource;

    // How often the lists that follow other clerks look for their changes.
    static constexpr int kFollowInterval = 250;

private:
    data::Connection m_connection;
    QTimer m_followTimer;
};

// The current data module; nullptr while none exists.
extern TDM* DM;
