#include "testsupport/BoxAnswerer.h"

#include <QTest>

#include <cstdio>
#include <cstdlib>

namespace testsupport {

namespace {

QString describe(const toolkit::MessageRequest& request)
{
    return QStringLiteral("\"%1\" (caption \"%2\")").arg(request.text, request.caption);
}

QString describe(const QList<toolkit::MessageRequest>& boxes)
{
    QStringList texts;
    for (const auto& box : boxes)
        texts << describe(box);
    return texts.join(QStringLiteral(", "));
}

} // namespace

BoxAnswerer::BoxAnswerer()
{
    toolkit::setMessageAnswerer([this](const toolkit::MessageRequest& request) { return answer(request); });
}

BoxAnswerer::~BoxAnswerer()
{
    toolkit::setMessageAnswerer({});
    if (QTest::currentTestFailed())
        return;
    if (!m_boxes.isEmpty())
        fail(QStringLiteral("message boxes the test never checked: ") + describe(m_boxes));
    if (!m_expected.isEmpty()) {
        QStringList missing;
        for (const Expectation& e : m_expected)
            missing << e.description;
        fail(QStringLiteral("expected message boxes that never appeared: ") + missing.join(QStringLiteral(", ")));
    }
}

void BoxAnswerer::expect(const QString& text, QMessageBox::StandardButton reply)
{
    expect(
        QLatin1Char('"') + text + QLatin1Char('"'),
        [text](const toolkit::MessageRequest& request) { return request.text == text; }, reply);
}

void BoxAnswerer::expect(const QString& description, Match match, QMessageBox::StandardButton reply)
{
    m_expected.enqueue({description, std::move(match), reply});
}

void BoxAnswerer::queueAnswer(QMessageBox::StandardButton reply)
{
    m_expected.enqueue({QStringLiteral("a box answered %1").arg(int(reply)), Match(), reply});
}

QList<toolkit::MessageRequest> BoxAnswerer::take()
{
    QList<toolkit::MessageRequest> boxes;
    boxes.swap(m_boxes);
    return boxes;
}

QStringList BoxAnswerer::takeTexts()
{
    QStringList texts;
    for (const auto& box : take())
        texts << box.text;
    return texts;
}

QMessageBox::StandardButton BoxAnswerer::answer(const toolkit::MessageRequest& request)
{
    const QMessageBox::StandardButton refusal = request.buttons.testFlag(QMessageBox::No)       ? QMessageBox::No
                                                : request.buttons.testFlag(QMessageBox::Cancel) ? QMessageBox::Cancel
                                                                                                : QMessageBox::Ok;
    if (!m_expected.isEmpty()) {
        const Expectation next = m_expected.dequeue();
        if (!next.match) {
            m_boxes << request;
            return next.answer;
        }
        if (next.match(request))
            return next.answer;
        fail(QStringLiteral("unexpected message box %1 where the test expected %2")
                 .arg(describe(request), next.description));
        return refusal;
    }
    if (request.buttons == QMessageBox::Ok) {
        m_boxes << request;
        return QMessageBox::Ok;
    }
    fail(QStringLiteral("unexpected message box with a choice and no answer: ") + describe(request));
    return refusal;
}

// Fails the running test function. Outside one (an answerer that outlived its test) nothing could
// report the failure, so the run ends with an error instead of passing.
void BoxAnswerer::fail(const QString& message)
{
    ++m_unexpected;
    if (QTest::currentTestFunction()) {
        QTest::qFail(qPrintable(message), __FILE__, __LINE__);
        return;
    }
    std::fprintf(stderr, "FAIL outside a test function: %s\n", qPrintable(message));
    std::_Exit(EXIT_FAILURE);
}

} // namespace testsupport
