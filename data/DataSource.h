#pragma once

#include <QObject>

namespace data {

class DataSet;

// The link between a dataset and the grids and reports that show it.
class DataSource : public QObject {
    Q_OBJECT
public:
    DataSource(const QString& name, DataSet* dataSet, QObject* parent = nullptr) : QObject(parent), m_dataSet(dataSet)
    {
        setObjectName(name);
    }
    DataSet* dataSet() const { return m_dataSet; }

private:
    DataSet* m_dataSet;
};

} // namespace data
