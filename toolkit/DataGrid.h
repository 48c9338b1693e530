#pragma once

#include <QAbstractTableModel>
#include <QHash>
#include <QSet>
#include <QTableView>
#include <QVector>

class QMenu;

namespace data {
class DataSet;
class DataSource;
} // namespace data

namespace toolkit {

// One column of a data grid: the field it shows (looked up by name in the dataset's current
// result set), its title, width and display mask; optionally a footer showing the column's sum.
// Every member has a default, so a column lists only what it sets: GridColumn{.fieldName = ...}.
struct GridColumn {
    QString fieldName{};
    QString title{};
    int width = 80;
    QString displayMask{};
    Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter;
    bool footerSum = false;
    QString footerMask{}; // mask of the footer sum; the display mask when empty
    bool visible = true;
};

enum class SortMark { None, Down, Up };

// The table model of a data grid: the grid's columns over the rows of the dataset behind its data
// source, in the dataset's current order. Records are striped by record number (odd white, even
// light grey); it follows every reload, sort and close of the shared dataset.
class DataGridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit DataGridModel(QObject* parent = nullptr);

    void setDataSet(data::DataSet* dataSet);
    data::DataSet* dataSet() const { return m_dataSet; }
    void setColumns(const QVector<GridColumn>& columns);
    const QVector<GridColumn>& columns() const { return m_columns; }
    void setEditable(bool editable) { m_editable = editable; }
    bool isEditable() const { return m_editable; }
    void setColumnReadOnly(int column, bool readOnly);
    // Index of the column's field in the current result set, -1 when the field is missing.
    int fieldIndex(int column) const;
    QString displayText(int row, int column) const;
    double columnSum(int column) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

    static QColor stripeColor(int recordNumber);

private:
    void reload();
    void moveIndicator();
    data::DataSet* m_dataSet = nullptr;
    QVector<GridColumn> m_columns;
    QVector<int> m_fieldIndexes;
    bool m_editable = false;
    QSet<int> m_readOnlyColumns;
    bool m_settingData = false;
    int m_indicatorRow = -1;
    // Footer sums by grid column, kept until the rows change: the footer repaints on every scroll.
    mutable QHash<int, double> m_sums;
};

// The data grid every list uses: bound to a shared dataset through its data source. A click on a
// column title cycles its sort mark (none -> down -> up -> down; one mark per grid) and sorts the
// dataset in memory; the current row follows the dataset's current record; every mouse press is
// reported with its button, modifiers and position after the press has moved the current row.
class DataGrid : public QTableView {
    Q_OBJECT
public:
    explicit DataGrid(QWidget* parent = nullptr);

    void setDataSource(data::DataSource* source);
    data::DataSource* dataSource() const { return m_source; }
    data::DataSet* dataSet() const;
    DataGridModel* gridModel() const { return m_model; }

    void setColumns(const QVector<GridColumn>& columns);
    int gridColumnCount() const { return int(m_model->columns().size()); }
    const GridColumn& gridColumn(int column) const { return m_model->columns().at(column); }

    // Whole-row selection (worker, user and style lists) or current-cell selection; several rows
    // may be marked where the list allows it.
    void setRowSelect(bool wholeRow);
    void setMultiSelect(bool multi);
    void setEditable(bool editable);

    SortMark sortMark(int column) const;
    // The title-click behaviour: next mark, then the sort text applied to the dataset. Returns the
    // sort text applied, or an empty text when nothing was applied (missing field, closed dataset).
    QString titleClick(int column);

    // Display text of the current record in a grid column, or of the selected column's field.
    QString columnText(int column) const;
    int selectedColumn() const;
    QString selectedFieldText() const;

    // The grid's context menu: "导出..." writes what the grid shows to a CSV or XLSX file.
    QMenu* createContextMenu(QWidget* parent);

    void setFooterVisible(bool visible);
    bool footerVisible() const { return m_footerVisible; }
    QString footerText(int column) const;

    // ---- Editing in place --------------------------------------------------------------------
    // A grid edited like a sheet: the current cell's editor stays open (a plain line: a number as
    // its plain digits, the text posted as typed, an emptied cell as empty); Enter posts the cell
    // and moves on to the next editable cell, row after row, never adding a row; read-only columns
    // are passed over.
    void setAlwaysShowEditor(bool on);
    bool alwaysShowEditor() const { return m_alwaysShowEditor; }
    void setColumnReadOnly(int column, bool readOnly);
    // Posts the text of the open cell editor, if any, to the dataset.
    void postEditor();
    int firstColumn(int row) const;

signals:
    void titleClicked(int column, const QString& sortText);
    void mousePressed(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, const QPoint& pos);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void updateGeometries() override;
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;

private:
    void setSortMark(int column, SortMark mark);
    void syncCurrentFromDataSet();
    void applyColumnWidths();

    data::DataSource* m_source = nullptr;
    DataGridModel* m_model;
    QVector<SortMark> m_marks;
    QWidget* m_footer;
    bool m_footerVisible = false;
    bool m_syncing = false;
    bool m_redispatching = false;
    bool m_alwaysShowEditor = false;
};

} // namespace toolkit
