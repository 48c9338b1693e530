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
    // A single typed digit becomes the month's two digits ("3" -> "03"), for the windows' handlers
    // of the edit's text.
    void padTypedDigit(const QString& text)
    {
        if (text.size() == 1)
            setEditText(QLatin1Char('0') + text);
    }

protected:
    QString textFromValue(int value) const override { return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0')); }
};

} // namespace toolkit
