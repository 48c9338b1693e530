#pragma once

#include "piecework/Produce.h"

#include <QDialog>

#include <functional>

class QLabel;
class QPushButton;
class QTableWidget;

// "价格预览": what a price application will do to a month, shown before it is made: the records it
// rewrites, each worker's wage before and after with the difference (the largest change first) and
// the month's totals. "确定" accepts, "取消" and closing the window change nothing.
class TPricePreviewForm : public QDialog {
    Q_OBJECT
public:
    TPricePreviewForm(const PricePreview& preview, const QDate& month, QWidget* parent = nullptr);

    // Shows the preview modally; true when the user accepted it. While Answerer is set, it gets
    // the dialog instead (it reads it and clicks a button) and nothing waits on a modal window.
    static bool Ask(const PricePreview& preview, const QDate& month, QWidget* parent = nullptr);
    static std::function<void(TPricePreviewForm*)> Answerer;

    QLabel* RecordsLabel;
    QTableWidget* PreviewGrid;
    QLabel* TotalBeforeLabel;
    QLabel* TotalAfterLabel;
    QLabel* TotalDiffLabel;
    QPushButton* cmdok;
    QPushButton* cmdcancel;
};
