#include "testsupport/BoxAnswerer.h"

namespace testsupport {

BoxAnswerer::BoxAnswerer()
{
    toolkit::setMessageAnswerer([this](const toolkit::MessageRequest& request) {
        m_boxes << request;
        if (!m_answers.isEmpty())
            return m_answers.dequeue();
        if (request.buttons == QMessageBox::Ok)
            return QMessageBox::Ok;
        ++m_unexpected;
        return request.buttons.testFlag(QMessageBox::No) ? QMessageBox::No : QMessageBox::Cancel;
    });
}

BoxAnswerer::~BoxAnswerer()
{
    toolkit::setMessageAnswerer({});
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

} // namespace testsupport
