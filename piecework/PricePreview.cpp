#include "piecework/PricePreview.h"

#include "toolkit/DisplayMask.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

std::function<void(TPricePreviewForm*)> TPricePreviewForm::Answerer;

namespace {

enum PreviewColumn { ColDept, ColMachine, ColWorker, ColBefore, ColAfter, ColDiff, ColumnCount };

QTableWidgetItem* textItem(const QString& text, bool number)
{
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    if (number)
        item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return item;
}

QString yuan(double value)
{
    return toolkit::formatNumber(value, toolkit::kYuanMask);
}

QLabel* makeLabel(QWidget* parent, const QString& name, const QString& text)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    return label;
}

QPushButton* makeButton(QWidget* parent, const QString& name, const QString& text)
{
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setMinimumSize(100, 30);
    return button;
}

} // namespace

TPricePreviewForm::TPricePreviewForm(const PricePreview& preview, const QDate& month, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("PricePreviewForm"));
    setWindowTitle(QStringLiteral("价格预览"));
    setModal(true);
    resize(640, 460);

    RecordsLabel = makeLabel(this, QStringLiteral("RecordsLabel"),
                             month.toString(QStringLiteral("yyyy年MM月")) + QStringLiteral("：将更新") +
                                 toolkit::formatNumber(double(preview.records), QStringLiteral("#,##0")) +
                                 QStringLiteral("条计件记录，涉及") +
                                 toolkit::formatNumber(double(preview.workers.size()), QStringLiteral("#,##0")) +
                                 QStringLiteral("名员工"));

    PreviewGrid = new QTableWidget(int(preview.workers.size()), ColumnCount, this);
    PreviewGrid->setObjectName(QStringLiteral("PreviewGrid"));
    PreviewGrid->setHorizontalHeaderLabels({QStringLiteral("班组"), QStringLiteral("车位"), QStringLiteral("员工"),
                                            QStringLiteral("调整前"), QStringLiteral("调整后"),
                                            QStringLiteral("差额")});
    PreviewGrid->verticalHeader()->setVisible(false);
    PreviewGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    PreviewGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    PreviewGrid->setAlternatingRowColors(true);
    for (int row = 0; row < preview.workers.size(); ++row) {
        const PricePreviewRow& worker = preview.workers.at(row);
        PreviewGrid->setItem(row, ColDept, textItem(worker.dept, false));
        PreviewGrid->setItem(row, ColMachine, textItem(worker.machine, false));
        PreviewGrid->setItem(row, ColWorker, textItem(worker.worker, false));
        PreviewGrid->setItem(row, ColBefore, textItem(yuan(worker.before), true));
        PreviewGrid->setItem(row, ColAfter, textItem(yuan(worker.after), true));
        PreviewGrid->setItem(row, ColDiff, textItem(yuan(worker.after - worker.before), true));
    }
    PreviewGrid->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);

    TotalBeforeLabel = makeLabel(this, QStringLiteral("TotalBeforeLabel"),
                                 QStringLiteral("本月合计(调整前)：") + yuan(preview.totalBefore));
    TotalAfterLabel = makeLabel(this, QStringLiteral("TotalAfterLabel"),
                                QStringLiteral("本月合计(调整后)：") + yuan(preview.totalAfter));
    TotalDiffLabel = makeLabel(this, QStringLiteral("TotalDiffLabel"),
                               QStringLiteral("差额：") + yuan(preview.totalAfter - preview.totalBefore));

    cmdok = makeButton(this, QStringLiteral("cmdok"), QStringLiteral("确定"));
    cmdcancel = makeButton(this, QStringLiteral("cmdcancel"), QStringLiteral("取消"));
    cmdcancel->setDefault(true);
    connect(cmdok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cmdcancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* totals = new QHBoxLayout;
    totals->addWidget(TotalBeforeLabel);
    totals->addWidget(TotalAfterLabel);
    totals->addWidget(TotalDiffLabel);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdok);
    buttons->addWidget(cmdcancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(RecordsLabel);
    layout->addWidget(PreviewGrid);
    layout->addLayout(totals);
    layout->addLayout(buttons);
}

bool TPricePreviewForm::Ask(const PricePreview& preview, const QDate& month, QWidget* parent)
{
    TPricePreviewForm form(preview, month, parent);
    if (Answerer) {
        Answerer(&form);
        return form.result() == QDialog::Accepted;
    }
    return form.exec() == QDialog::Accepted;
}
