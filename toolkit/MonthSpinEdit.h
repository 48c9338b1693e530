#pragma once

#include <QLineEdit>
#include <QSpinBox>

namespace toolkit {

// The month spin edit of the month choosers: shows its month with two digits (03), and lets the
// window put a typed text back into its edit.
class MonthSpinEdit : public QSpinBox {
public:
    using QSpinBox::QSpinBox;
    void setEditText(const QString& text) { lineEdit()->setText(text); }

protected:
    QString textFromValue(int value) const override { return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0')); }
};

} // namespace toolkit
