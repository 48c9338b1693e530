#pragma once

#include "toolkit/MessageBox.h"

#include <QList>
#include <QQueue>

namespace testsupport {

// Stands in for the user at every message box while it lives: records each box in order and
// answers it with the next scripted answer, or with OK for a box that has only an OK button.
// A box with a choice and no scripted answer is recorded as unexpected and answered No/Cancel.
class BoxAnswerer {
public:
    BoxAnswerer();
    ~BoxAnswerer();

    void queueAnswer(QMessageBox::StandardButton answer) { m_answers.enqueue(answer); }
    // The boxes shown since the last take, in order; the record is emptied.
    QList<toolkit::MessageRequest> take();
    QStringList takeTexts();
    int unexpected() const { return m_unexpected; }
    int pendingAnswers() const { return int(m_answers.size()); }

private:
    QList<toolkit::MessageRequest> m_boxes;
    QQueue<QMessageBox::StandardButton> m_answers;
    int m_unexpected = 0;
};

} // namespace testsupport
