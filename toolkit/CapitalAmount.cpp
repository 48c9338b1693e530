#include "toolkit/CapitalAmount.h"

#include <cmath>

namespace toolkit {

namespace {

const QString kDigits = QStringLiteral("零壹贰叁肆伍陆柒捌玖");
const QString kPlaces = QStringLiteral("仟佰拾"); // within a group of four, the highest place first
const QString kGroups[] = {QString(), QStringLiteral("万"), QStringLiteral("亿"), QStringLiteral("万亿")};

// One group of four digits (0..9999) with its places. A zero between digits, or at the group's head
// after a higher group, is said once as 零.
QString groupText(int value, bool zeroAhead)
{
    QString text;
    bool pendingZero = zeroAhead;
    for (int place = 0; place < 4; ++place) {
        const int divisor = place == 0 ? 1000 : place == 1 ? 100 : place == 2 ? 10 : 1;
        const int digit = value / divisor % 10;
        if (digit == 0) {
            pendingZero = !text.isEmpty() || pendingZero;
            continue;
        }
        if (pendingZero && (!text.isEmpty() || zeroAhead))
            text += kDigits.at(0);
        pendingZero = false;
        text += kDigits.at(digit);
        if (place < 3)
            text += kPlaces.at(place);
    }
    return text;
}

QString yuanText(long long yuan)
{
    QString text;
    bool higherSaid = false;
    bool zeroBetween = false;
    for (int group = 3; group >= 0; --group) {
        const long long divisor = static_cast<long long>(std::pow(10000.0, group));
        const int value = static_cast<int>(yuan / divisor % 10000);
        if (value == 0) {
            zeroBetween = higherSaid;
            continue;
        }
        // A group below a higher one that does not fill its thousands place begins with 零.
        const bool zeroAhead = higherSaid && (zeroBetween || value < 1000);
        text += groupText(value, zeroAhead) + kGroups[group];
        higherSaid = true;
        zeroBetween = false;
    }
    return text;
}

} // namespace

QString capitalAmount(double yuan)
{
    const long long milli = std::llround(std::fabs(yuan) * 1000.0);
    const long long fen = (milli + 5) / 10;
    const long long whole = fen / 100;
    const int jiao = static_cast<int>(fen / 10 % 10);
    const int cents = static_cast<int>(fen % 10);
    QString text = yuan < 0 && fen > 0 ? QStringLiteral("负") : QString();
    if (whole > 0)
        text += yuanText(whole) + QStringLiteral("圆");
    if (jiao == 0 && cents == 0)
        return text + (whole > 0 ? QStringLiteral("整") : QStringLiteral("零圆整"));
    if (jiao > 0)
        text += kDigits.at(jiao) + QStringLiteral("角");
    else if (whole > 0)
        text += kDigits.at(0);
    if (cents > 0)
        text += kDigits.at(cents) + QStringLiteral("分");
    else
        text += QStringLiteral("整");
    return text;
}

} // namespace toolkit
