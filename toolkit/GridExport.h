#pragma once

#include <QString>
#include <QVector>

#include <functional>

class QWidget;

namespace data {
class DataSet;
}

namespace toolkit {

class DataGrid;
struct GridColumn;

enum class ExportFormat { Csv, Xlsx };

// How far a long export has come; returning false stops it.
using ExportProgress = std::function<bool(qint64 rowsWritten, qint64 rowCount)>;

struct ExportResult {
    enum Status { Written, Cancelled, Failed } status = Failed;
    QString error; // why it failed, in the user's words
    qint64 rows = 0;
};

// Writes what the grid shows to a file: its visible columns in their shown order, with their titles
// as the header row, and its rows in the dataset's current order. Values as the grid formats them
// for reading, without decoration: numbers under a number mask as plain numbers with the mask's
// decimals ("￥#,##0.000" gives 1234.500), dates as yyyy-MM-dd, texts as they are.
//  - CSV: UTF-8 with a byte-order mark, fields separated by commas, records by CR LF, a field
//    quoted when it holds a comma, a quote or a line break (quotes doubled).
//  - XLSX: one sheet (more past a sheet's million rows, each with the header), a bold header,
//    number cells for numbers (with the mask's decimals), date cells for dates, text cells.
// The file appears only complete: it is written beside the target under another name and put in
// place at the end, so a cancelled or failed export leaves the former file (or none) untouched.
ExportResult exportGrid(const DataGrid& grid, const QString& fileName, ExportFormat format,
                        const ExportProgress& progress = {});

// The same for a dataset and a list of columns (field, title, mask, width), with the sheet's name.
ExportResult exportDataSet(data::DataSet* set, const QVector<GridColumn>& columns, const QString& fileName,
                           ExportFormat format, const QString& sheetName, const ExportProgress& progress = {});

// The format a file name asks for by its suffix (.xlsx, otherwise CSV).
ExportFormat exportFormatOf(const QString& fileName);

// Who picks the file to export to: a save dialog by default; tests put their own in its place.
// Returns the file name (empty: the user gave up).
using ExportFileChooser = std::function<QString(QWidget* parent, const QString& suggestedName)>;
void setExportFileChooser(ExportFileChooser chooser);

// The "导出..." command of every grid: asks for the file, shows the progress with a cancel button
// while it writes, and reports a failure in a box.
void exportGridInteractively(DataGrid* grid);

} // namespace toolkit
