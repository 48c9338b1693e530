#pragma once

#include "toolkit/MessageBox.h"

#include <QList>
#include <QQueue>
#include <QStringList>

#include <functional>

namespace testsupport {

// Stands in for the user at every message box while it lives, and fails the running test on any
// box the test did not account for. A test accounts for a box in one of two ways:
//  - expect(text or predicate, answer) before the action: the next box must match, and gets the
//    answer; a box that does not match fails the test at once;
//  - take()/takeTexts() after the action, comparing what appeared: a box with only an OK button
//    is answered OK and recorded; queueAnswer(answer) answers the next box of any kind, which is
//    recorded too.
// A box with a choice and no answer fails the test at once (it is answered No or Cancel). When the
// answerer is destroyed (in the test's cleanup), boxes never taken and expectations never met fail
// the test, unless it has failed already.
class BoxAnswerer {
public:
    using Match = std::function<bool(const toolkit::MessageRequest&)>;

    BoxAnswerer();
    ~BoxAnswerer();
    BoxAnswerer(const BoxAnswerer&) = delete;
    BoxAnswerer& operator=(const BoxAnswerer&) = delete;

    // The next box has exactly this text and is answered so.
    void expect(const QString& text, QMessageBox::StandardButton answer = QMessageBox::Ok);
    // The next box satisfies the predicate (described for the failure message).
    void expect(const QString& description, Match match, QMessageBox::StandardButton answer);
    // The next box, whatever it says, gets this answer; it is recorded for take().
    void queueAnswer(QMessageBox::StandardButton answer);

    // The recorded boxes, in order; the record is emptied.
    [[nodiscard]] QList<toolkit::MessageRequest> take();
    [[nodiscard]] QStringList takeTexts();

    // Boxes that have already failed the test (a choice without an answer, a mismatch).
    int unexpected() const { return m_unexpected; }
    int pendingAnswers() const { return int(m_expected.size()); }

private:
    struct Expectation {
        QString description;
        Match match; // empty: any box, recorded
        QMessageBox::StandardButton answer;
    };
    QMessageBox::StandardButton answer(const toolkit::MessageRequest& request);
    void fail(const QString& message);

    QList<toolkit::MessageRequest> m_boxes;
    QQueue<Expectation> m_expected;
    int m_unexpected = 0;
};

} // namespace testsupport
