#include "toolkit/DataGrid.h"

#include "data/DataSet.h"
#include "data/DataSource.h"
#include "toolkit/DisplayMask.h"
#include "toolkit/GridExport.h"
#include "toolkit/MessageBox.h"

#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>

#include <memory>

namespace toolkit {

namespace {

QPixmap indicatorPicture()
{
    static const QPixmap picture = [] {
        QPixmap triangle(6, 9);
        triangle.fill(Qt::transparent);
        QPainter p(&triangle);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::black);
        const QPointF points[3] = {{0.5, 0.5}, {5.5, 4.5}, {0.5, 8.5}};
        p.drawPolygon(points, 3);
        return triangle;
    }();
    return picture;
}

// The footer row under the grid: each summed column's total, aligned with its column.
class GridFooter : public QWidget {
public:
    explicit GridFooter(DataGrid* grid) : QWidget(grid), m_grid(grid) { setObjectName(QStringLiteral("footer")); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.fillRect(rect(), palette().button());
        p.setPen(palette().mid().color());
        p.drawLine(rect().topLeft(), rect().topRight());
        p.setPen(palette().buttonText().color());
        QHeaderView* header = m_grid->horizontalHeader();
        const int offset = m_grid->verticalHeader()->isVisible() ? m_grid->verticalHeader()->width() : 0;
        for (int c = 0; c < m_grid->gridColumnCount(); ++c) {
            if (header->isSectionHidden(c))
                continue;
            const QRect cell(offset + header->sectionViewportPosition(c) + m_grid->frameWidth(), 0,
                             header->sectionSize(c), height());
            p.drawText(cell.adjusted(3, 0, -3, 0), int(m_grid->gridColumn(c).alignment), m_grid->footerText(c));
        }
    }

private:
    DataGrid* m_grid;
};

} // namespace

DataGridModel::DataGridModel(QObject* parent) : QAbstractTableModel(parent) {}

void DataGridModel::setDataSet(data::DataSet* dataSet)
{
    if (m_dataSet)
        disconnect(m_dataSet, nullptr, this, nullptr);
    m_dataSet = dataSet;
    if (m_dataSet) {
        connect(m_dataSet, &data::DataSet::rowsChanged, this, &DataGridModel::reload);
        connect(m_dataSet, &data::DataSet::currentChanged, this, &DataGridModel::moveIndicator);
        // A released data module takes its datasets with it; the grid then shows nothing.
        connect(m_dataSet, &QObject::destroyed, this, [this] {
            m_dataSet = nullptr;
            reload();
        });
    }
    reload();
}

void DataGridModel::setColumns(const QVector<GridColumn>& columns)
{
    m_columns = columns;
    reload();
}

void DataGridModel::reload()
{
    if (m_settingData)
        return; // setData reports its one changed cell itself
    beginResetModel();
    m_sums.clear();
    m_fieldIndexes.clear();
    for (const GridColumn& column : m_columns)
        m_fieldIndexes << (m_dataSet ? m_dataSet->findField(column.fieldName) : -1);
    m_indicatorRow = m_dataSet ? m_dataSet->recNo() - 1 : -1;
    endResetModel();
}

// The indicator column marks the current record with a small triangle, as the current row moves.
void DataGridModel::moveIndicator()
{
    const int previous = m_indicatorRow;
    m_indicatorRow = m_dataSet ? m_dataSet->recNo() - 1 : -1;
    if (previous == m_indicatorRow)
        return;
    if (previous >= 0 && previous < rowCount())
        emit headerDataChanged(Qt::Vertical, previous, previous);
    if (m_indicatorRow >= 0)
        emit headerDataChanged(Qt::Vertical, m_indicatorRow, m_indicatorRow);
}

int DataGridModel::fieldIndex(int column) const
{
    return column >= 0 && column < m_fieldIndexes.size() ? m_fieldIndexes.at(column) : -1;
}

QString DataGridModel::displayText(int row, int column) const
{
    const int field = fieldIndex(column);
    if (!m_dataSet || field < 0)
        return QString();
    const QVariant value = m_dataSet->value(row, field);
    return applyDisplayMask(value, m_columns.at(column).displayMask);
}

double DataGridModel::columnSum(int column) const
{
    const auto cached = m_sums.constFind(column);
    if (cached != m_sums.constEnd())
        return cached.value();
    const int field = fieldIndex(column);
    double sum = 0;
    if (m_dataSet && field >= 0)
        for (int r = 0; r < m_dataSet->recordCount(); ++r)
            sum += m_dataSet->value(r, field).toDouble();
    m_sums.insert(column, sum);
    return sum;
}

int DataGridModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() || !m_dataSet ? 0 : m_dataSet->recordCount();
}

int DataGridModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_columns.size());
}

QColor DataGridModel::stripeColor(int recordNumber)
{
    return recordNumber % 2 == 1 ? QColor(255, 255, 255) : QColor(234, 234, 234);
}

QVariant DataGridModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount())
        return QVariant();
    switch (role) {
    case Qt::DisplayRole: return displayText(index.row(), index.column());
    case Qt::EditRole: {
        const int field = fieldIndex(index.column());
        return field < 0 ? QVariant() : m_dataSet->value(index.row(), field);
    }
    case Qt::BackgroundRole: return stripeColor(index.row() + 1);
    case Qt::TextAlignmentRole: return int(m_columns.at(index.column()).alignment);
    default: return QVariant();
    }
}

QVariant DataGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < m_columns.size())
        return m_columns.at(section).title;
    if (orientation == Qt::Vertical) {
        if (role == Qt::DecorationRole && section == m_indicatorRow && section < rowCount())
            return indicatorPicture();
        return QVariant(); // no row numbers: the column only shows where the current record is
    }
    return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags DataGridModel::flags(const QModelIndex& index) const
{
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (m_editable && fieldIndex(index.column()) >= 0 && !m_readOnlyColumns.contains(index.column()))
        f |= Qt::ItemIsEditable;
    return f;
}

bool DataGridModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    const int field = fieldIndex(index.column());
    if (!m_editable || role != Qt::EditRole || field < 0)
        return false;
    // Only this cell changed: a model reset here would pull the editor away while it commits.
    m_settingData = true;
    m_dataSet->setValue(index.row(), field, value);
    m_settingData = false;
    m_sums.remove(index.column());
    emit dataChanged(index, index);
    return true;
}

DataGrid::DataGrid(QWidget* parent)
    : QTableView(parent), m_model(new DataGridModel(this)), m_footer(new GridFooter(this))
{
    setModel(m_model);
    m_footer->hide();
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    verticalHeader()->setFixedWidth(12);
    verticalHeader()->setHighlightSections(false);
    horizontalHeader()->setSectionsClickable(true);
    horizontalHeader()->setSortIndicatorShown(true);
    horizontalHeader()->setSortIndicator(-1, Qt::DescendingOrder);
    horizontalHeader()->setHighlightSections(false);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setSelectionMode(QAbstractItemView::SingleSelection);
    connect(horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int column) {
        const QString sortText = titleClick(column);
        emit titleClicked(column, sortText);
    });
    connect(m_model, &QAbstractItemModel::modelReset, this, [this] {
        syncCurrentFromDataSet();
        m_footer->update();
    });
    connect(m_model, &QAbstractItemModel::dataChanged, m_footer, qOverload<>(&QWidget::update));
    connect(horizontalHeader(), &QHeaderView::sectionResized, m_footer, qOverload<>(&QWidget::update));
    horizontalHeader()->viewport()->installEventFilter(this);
    verticalHeader()->viewport()->installEventFilter(this);
    connect(horizontalScrollBar(), &QScrollBar::valueChanged, m_footer, qOverload<>(&QWidget::update));
}

void DataGrid::setDataSource(data::DataSource* source)
{
    if (dataSet())
        disconnect(dataSet(), nullptr, this, nullptr);
    if (m_source)
        disconnect(m_source, nullptr, this, nullptr);
    m_source = source;
    if (m_source)
        connect(m_source, &QObject::destroyed, this, [this] { m_source = nullptr; });
    m_model->setDataSet(m_source ? m_source->dataSet() : nullptr);
    if (dataSet())
        connect(dataSet(), &data::DataSet::currentChanged, this, &DataGrid::syncCurrentFromDataSet);
}

// The model's dataset, which it drops when the dataset is released.
data::DataSet* DataGrid::dataSet() const
{
    return m_model->dataSet();
}

void DataGrid::setColumns(const QVector<GridColumn>& columns)
{
    m_model->setColumns(columns);
    m_marks = QVector<SortMark>(columns.size(), SortMark::None);
    horizontalHeader()->setSortIndicator(-1, Qt::DescendingOrder);
    applyColumnWidths();
}

void DataGrid::applyColumnWidths()
{
    const auto& columns = m_model->columns();
    for (int c = 0; c < columns.size(); ++c) {
        setColumnWidth(c, columns.at(c).width);
        setColumnHidden(c, !columns.at(c).visible);
    }
}

void DataGrid::setRowSelect(bool wholeRow)
{
    setSelectionBehavior(wholeRow ? QAbstractItemView::SelectRows : QAbstractItemView::SelectItems);
}

void DataGrid::setMultiSelect(bool multi)
{
    setSelectionMode(multi ? QAbstractItemView::ExtendedSelection : QAbstractItemView::SingleSelection);
}

void DataGrid::setEditable(bool editable)
{
    m_model->setEditable(editable);
    setEditTriggers(editable ? QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                                   QAbstractItemView::AnyKeyPressed
                             : QAbstractItemView::NoEditTriggers);
}

SortMark DataGrid::sortMark(int column) const
{
    return column >= 0 && column < m_marks.size() ? m_marks.at(column) : SortMark::None;
}

void DataGrid::setSortMark(int column, SortMark mark)
{
    for (int c = 0; c < m_marks.size(); ++c)
        m_marks[c] = c == column ? mark : SortMark::None;
    // Qt draws its ascending indicator as a downward arrow, and the down mark is to point down.
    if (mark == SortMark::None)
        horizontalHeader()->setSortIndicator(-1, Qt::DescendingOrder);
    else
        horizontalHeader()->setSortIndicator(column, mark == SortMark::Down ? Qt::AscendingOrder : Qt::DescendingOrder);
}

QString DataGrid::titleClick(int column)
{
    if (column < 0 || column >= m_marks.size())
        return QString();
    postEditor(); // the sort reloads the rows, which would drop a cell being typed
    data::DataSet* set = dataSet();
    // A field missing from the current result set (another window's result in the shared
    // dataset): nothing is sorted, so no mark moves either.
    if (!set || (set->isActive() && m_model->fieldIndex(column) < 0))
        return QString();
    const SortMark next = m_marks.at(column) == SortMark::Down ? SortMark::Up : SortMark::Down;
    setSortMark(column, next);
    if (!set->isActive()) {
        ShowStop(QStringLiteral("数据集已关闭, 不能排序"));
        return QString();
    }
    const QString sortText = set->fieldName(m_model->fieldIndex(column)) +
                             (next == SortMark::Down ? QStringLiteral(" DESC") : QStringLiteral(" ASC"));
    QString error;
    if (!set->setSort(sortText, &error)) {
        ShowStop(error);
        return QString();
    }
    return sortText;
}

QString DataGrid::columnText(int column) const
{
    const data::DataSet* set = dataSet();
    if (!set || set->recNo() == 0)
        return QString();
    return m_model->displayText(set->recNo() - 1, column);
}

int DataGrid::selectedColumn() const
{
    return currentIndex().isValid() ? currentIndex().column() : 0;
}

QString DataGrid::selectedFieldText() const
{
    return columnText(selectedColumn());
}

void DataGrid::setFooterVisible(bool visible)
{
    m_footerVisible = visible;
    m_footer->setVisible(visible);
    updateGeometries();
}

QString DataGrid::footerText(int column) const
{
    if (column < 0 || column >= gridColumnCount() || !gridColumn(column).footerSum)
        return QString();
    const GridColumn& c = gridColumn(column);
    const QString mask = c.footerMask.isEmpty() ? c.displayMask : c.footerMask;
    return formatNumber(m_model->columnSum(column), mask.isEmpty() ? QStringLiteral("0.###") : mask);
}

QMenu* DataGrid::createContextMenu(QWidget* parent)
{
    auto* menu = new QMenu(parent);
    QAction* exportAction = menu->addAction(QStringLiteral("导出..."));
    exportAction->setObjectName(QStringLiteral("ExportAction"));
    connect(exportAction, &QAction::triggered, this, [this] { exportGridInteractively(this); });
    return menu;
}

void DataGrid::contextMenuEvent(QContextMenuEvent* event)
{
    std::unique_ptr<QMenu> menu(createContextMenu(this));
    menu->exec(event->globalPos());
}

void DataGrid::mousePressEvent(QMouseEvent* event)
{
    QTableView::mousePressEvent(event);
    emit mousePressed(event->button(), event->modifiers(), event->position().toPoint());
}

// Presses on the title row and on the indicator column are presses inside the grid too: the
// header handles the press first (the indicator makes its row current), then the signal follows.
bool DataGrid::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::MouseButtonPress || m_redispatching ||
        (watched != horizontalHeader()->viewport() && watched != verticalHeader()->viewport()))
        return QTableView::eventFilter(watched, event);
    auto* press = static_cast<QMouseEvent*>(event);
    auto* source = static_cast<QWidget*>(watched);
    m_redispatching = true;
    QCoreApplication::sendEvent(source, event);
    m_redispatching = false;
    const QPoint pos = viewport()->mapFrom(this, source->mapTo(this, press->position().toPoint()));
    emit mousePressed(press->button(), press->modifiers(), pos);
    return true;
}

void DataGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    QTableView::currentChanged(current, previous);
    if (m_syncing || !current.isValid() || !dataSet())
        return;
    m_syncing = true;
    dataSet()->setRecNo(current.row() + 1);
    m_syncing = false;
}

void DataGrid::syncCurrentFromDataSet()
{
    const data::DataSet* set = dataSet();
    if (m_syncing || !set || set->recNo() == 0)
        return;
    m_syncing = true;
    const int column = currentIndex().isValid() ? currentIndex().column() : firstColumn(set->recNo() - 1);
    const QModelIndex index = m_model->index(set->recNo() - 1, column);
    if (index.isValid() && index != currentIndex())
        selectionModel()->setCurrentIndex(
            index, QItemSelectionModel::ClearAndSelect |
                       (selectionBehavior() == SelectRows ? QItemSelectionModel::Rows : QItemSelectionModel::NoUpdate));
    m_syncing = false;
}

void DataGrid::updateGeometries()
{
    QTableView::updateGeometries();
    if (!m_footerVisible)
        return;
    // The table sets its header margins above; the footer takes a row's height under the rows.
    const int footerHeight = verticalHeader()->defaultSectionSize();
    const QMargins margins = viewportMargins();
    if (margins.bottom() != footerHeight)
        setViewportMargins(margins.left(), margins.top(), margins.right(), footerHeight);
    const QRect vp = viewport()->geometry();
    m_footer->setGeometry(frameWidth(), vp.bottom() + 1, width() - 2 * frameWidth(), footerHeight);
    m_footer->raise();
}

// ---- Editing in place ----------------------------------------------------------------------------

namespace {

// The cell editor of a grid edited in place: a plain line with the stored value, a number as its
// plain digits. What was typed goes to the dataset as text (an emptied cell as empty); a cell left
// untouched writes nothing. Enter posts the cell and asks the grid for the next one.
class InPlaceDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex&) const override
    {
        auto* editor = new QLineEdit(parent);
        editor->setFrame(false);
        return editor;
    }
    void setEditorData(QWidget* editor, const QModelIndex& index) const override
    {
        const QVariant value = index.data(Qt::EditRole);
        QString text;
        if (value.typeId() == QMetaType::Double)
            text = QString::number(value.toDouble(), 'g', 15);
        else if (value.isValid())
            text = value.toString();
        auto* line = static_cast<QLineEdit*>(editor);
        line->setText(text);
        line->selectAll();
    }
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override
    {
        const auto* line = static_cast<QLineEdit*>(editor);
        if (!line->isModified())
            return;
        model->setData(index, line->text().isEmpty() ? QVariant() : QVariant(line->text()), Qt::EditRole);
    }

protected:
    bool eventFilter(QObject* object, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                auto* editor = static_cast<QWidget*>(object);
                emit commitData(editor);
                emit closeEditor(editor, QAbstractItemDelegate::EditNextItem);
                return true;
            }
        }
        return QStyledItemDelegate::eventFilter(object, event);
    }
};

} // namespace

void DataGridModel::setColumnReadOnly(int column, bool readOnly)
{
    if (readOnly)
        m_readOnlyColumns.insert(column);
    else
        m_readOnlyColumns.remove(column);
}

void DataGrid::setAlwaysShowEditor(bool on)
{
    m_alwaysShowEditor = on;
    if (on) {
        setItemDelegate(new InPlaceDelegate(this));
        setEditTriggers(AllEditTriggers);
    }
}

void DataGrid::setColumnReadOnly(int column, bool readOnly)
{
    m_model->setColumnReadOnly(column, readOnly);
}

void DataGrid::postEditor()
{
    if (QWidget* editor = indexWidget(currentIndex()))
        commitData(editor);
}

// Where the current row starts: in a grid edited in place its first editable cell, so that the
// editor shows at once; otherwise the first column.
int DataGrid::firstColumn(int row) const
{
    if (m_alwaysShowEditor)
        for (int column = 0; column < m_model->columnCount(); ++column)
            if (!isColumnHidden(column) && (m_model->index(row, column).flags() & Qt::ItemIsEditable))
                return column;
    return 0;
}

// Enter (and Tab) move to the next editable cell, on to the next row after the last; at the last
// editable cell of the grid the cell stays current.
QModelIndex DataGrid::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers)
{
    const QModelIndex current = currentIndex();
    if (!m_alwaysShowEditor || action != MoveNext || !current.isValid())
        return QTableView::moveCursor(action, modifiers);
    for (int row = current.row(), column = current.column() + 1; row < m_model->rowCount(); ++row, column = 0)
        for (; column < m_model->columnCount(); ++column) {
            const QModelIndex next = m_model->index(row, column);
            if (!isColumnHidden(column) && (next.flags() & Qt::ItemIsEditable))
                return next;
        }
    return current;
}

// After Enter or Escape the editor opens again on the current cell (also on the last cell, where
// Enter stays); leaving the grid (no hint) closes it.
void DataGrid::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint)
{
    QTableView::closeEditor(editor, hint);
    if (m_alwaysShowEditor && hint != QAbstractItemDelegate::NoHint && state() != EditingState &&
        (currentIndex().flags() & Qt::ItemIsEditable))
        edit(currentIndex());
}

} // namespace toolkit
