#include "data/ColumnStore.h"

#include <QCollator>
#include <QDate>
#include <QLocale>

#include <algorithm>
#include <limits>
#include <numeric>

namespace data {

DbValue toDbValue(const QVariant& value)
{
    if (!value.isValid() || value.isNull())
        return {};
    switch (value.typeId()) {
    case QMetaType::Bool:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::LongLong: return integerValue(value.toLongLong());
    case QMetaType::ULong:
    case QMetaType::ULongLong: {
        const qulonglong number = value.toULongLong();
        if (number <= qulonglong(std::numeric_limits<qint64>::max()))
            return integerValue(qint64(number));
        return realValue(double(number));
    }
    case QMetaType::Float:
    case QMetaType::Double: return realValue(value.toDouble());
    case QMetaType::QByteArray: return bytesValue(KBlob, value.toByteArray());
    case QMetaType::QDate:
    case QMetaType::QDateTime: {
        // Dates are held as yyyy-MM-dd text; the program keeps no time of day.
        const QDate date = value.typeId() == QMetaType::QDate ? value.toDate() : value.toDateTime().date();
        if (!date.isValid())
            return {};
        return bytesValue(KText, date.toString(QStringLiteral("yyyy-MM-dd")).toUtf8());
    }
    default: return bytesValue(KText, value.toString().toUtf8());
    }
}

// A value written into a statement for a reader, as SQL would spell it.
QString literal(const QVariant& value)
{
    const DbValue v = toDbValue(value);
    switch (v.kind) {
    case KInt: return QString::number(v.integer);
    case KReal: return QString::number(v.real, 'g', 15);
    case KText: {
        QString text = QString::fromUtf8(v.bytes);
        text.replace(QLatin1Char('\''), QStringLiteral("''"));
        return QLatin1Char('\'') + text + QLatin1Char('\'');
    }
    case KBlob: return QStringLiteral("X'") + QString::fromLatin1(v.bytes.toHex().toUpper()) + QLatin1Char('\'');
    default: return QStringLiteral("NULL");
    }
}

QVariant ColumnStore::value(int row) const
{
    const quint64 s = slot(row);
    switch (kind(row)) {
    case KInt: return qlonglong(s);
    case KReal: return std::bit_cast<double>(s);
    case KText: return QString::fromUtf8(strings[size_t(s)]);
    case KBlob: return strings[size_t(s)];
    default: return QVariant();
    }
}

void ColumnStore::store(int row, const QVariant& value)
{
    const DbValue v = toDbValue(value);
    switch (v.kind) {
    case KInt: set(row, KInt, quint64(v.integer)); return;
    case KReal: set(row, KReal, std::bit_cast<quint64>(v.real)); return;
    case KText:
    case KBlob: set(row, v.kind, intern(v.bytes.constData(), int(v.bytes.size()))); return;
    default: set(row, KNull, 0); return;
    }
}

// Ranks of the distinct texts in the order a Chinese user expects, letter case ignored.
const std::vector<quint32>& ColumnStore::textRanks()
{
    if (ranks.size() == strings.size())
        return ranks;
    std::vector<QString> texts;
    texts.reserve(strings.size());
    for (const QByteArray& s : strings)
        texts.push_back(QString::fromUtf8(s));
    QCollator collator(QLocale(QLocale::Chinese, QLocale::China));
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::vector<quint32> byOrder(strings.size());
    std::iota(byOrder.begin(), byOrder.end(), 0u);
    // Texts that begin with a Latin letter, digit or sign come before Chinese ones, as in the
    // lists users know; within each group the locale's order (pinyin for Chinese) holds.
    const auto group = [&texts](quint32 i) { return texts[i].isEmpty() || texts[i].at(0).unicode() < 0x80 ? 0 : 1; };
    const auto compare = [&](quint32 a, quint32 b) {
        const int ga = group(a);
        const int gb = group(b);
        return ga != gb ? ga - gb : collator.compare(texts[a], texts[b]);
    };
    std::stable_sort(byOrder.begin(), byOrder.end(), [&](quint32 a, quint32 b) { return compare(a, b) < 0; });
    ranks.assign(strings.size(), 0);
    quint32 rank = 0;
    for (size_t i = 0; i < byOrder.size(); ++i) {
        if (i > 0 && compare(byOrder[i - 1], byOrder[i]) != 0)
            ++rank;
        ranks[byOrder[i]] = rank;
    }
    return ranks;
}

} // namespace data
