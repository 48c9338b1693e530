#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>

#include <bit>
#include <cstring>
#include <memory>
#include <vector>

namespace data {

enum ValueKind : quint8 { KNull = 0, KInt = 1, KReal = 2, KText = 3, KBlob = 4 };

// Rows are kept in blocks so that growing a column never copies what is already loaded.
constexpr int kBlockShift = 14;
constexpr int kBlockSize = 1 << kBlockShift;
constexpr int kBlockMask = kBlockSize - 1;

// A value as the database holds it. Every Qt type the program hands over goes through this one
// mapping, whether it is bound to a statement, written into the failure box or stored in memory.
struct DbValue {
    ValueKind kind = KNull;
    qint64 integer = 0;
    double real = 0;
    QByteArray bytes; // a text as UTF-8, or a blob
};

inline DbValue integerValue(qint64 number)
{
    DbValue v;
    v.kind = KInt;
    v.integer = number;
    return v;
}

inline DbValue realValue(double number)
{
    DbValue v;
    v.kind = KReal;
    v.real = number;
    return v;
}

inline DbValue bytesValue(ValueKind kind, QByteArray bytes)
{
    DbValue v;
    v.kind = kind;
    v.bytes = std::move(bytes);
    return v;
}

DbValue toDbValue(const QVariant& value);

// A value written into a statement for a reader, as SQL would spell it.
QString literal(const QVariant& value);

// One column of a result held in memory: typed slots in blocks, each distinct text once.
class ColumnStore {
public:
    QString name;
    std::vector<std::unique_ptr<quint64[]>> slotBlocks;
    std::vector<std::unique_ptr<quint8[]>> kindBlocks;
    std::vector<QByteArray> strings; // distinct texts and blobs, UTF-8
    // The look-up of the distinct texts: an open-addressing table, at most half full, whose buckets
    // hold 1 + an index into strings (0: empty), and the hash of each string, so that a look-up
    // rarely compares the text itself.
    std::vector<quint32> buckets;
    std::vector<quint32> stringHashes;
    quint32 lastIndex = 0;      // the text found last: rows in statement order often repeat it
    std::vector<quint32> ranks; // collation rank of each string; empty until a sort needs it

    quint64 slot(int row) const { return slotBlocks[size_t(row >> kBlockShift)][row & kBlockMask]; }
    quint8 kind(int row) const { return kindBlocks[size_t(row >> kBlockShift)][row & kBlockMask]; }

    void set(int row, quint8 kind, quint64 slot)
    {
        const size_t block = size_t(row >> kBlockShift);
        while (slotBlocks.size() <= block) {
            slotBlocks.emplace_back(new quint64[kBlockSize]);
            kindBlocks.emplace_back(new quint8[kBlockSize]);
        }
        slotBlocks[block][row & kBlockMask] = slot;
        kindBlocks[block][row & kBlockMask] = kind;
    }

    static bool sameBytes(const QByteArray& text, const char* bytes, int size)
    {
        return text.size() == size && (size == 0 || std::memcmp(text.constData(), bytes, size_t(size)) == 0);
    }

    // A quick hash of a short text. The bytes are read in whole words, the last word overlapping
    // the one before it, never past the end.
    static quint32 hashBytes(const char* bytes, int size)
    {
        const auto word = [bytes](size_t at) {
            quint64 v;
            std::memcpy(&v, bytes + at, 8);
            return v;
        };
        const auto half = [bytes](size_t at) {
            quint32 v;
            std::memcpy(&v, bytes + at, 4);
            return quint64(v);
        };
        const size_t n = size_t(size);
        quint64 h = 0x9e3779b97f4a7c15ULL ^ n;
        quint64 last = 0;
        if (n >= 8) {
            for (size_t at = 0; at + 8 < n; at += 8) {
                h = (h ^ word(at)) * 0xbf58476d1ce4e5b9ULL;
                h ^= h >> 31;
            }
            last = word(n - 8);
        } else if (n >= 4) {
            last = (half(0) << 32) | half(n - 4);
        } else if (n > 0) {
            last = (quint64(uchar(bytes[0])) << 16) | (quint64(uchar(bytes[n / 2])) << 8) | uchar(bytes[n - 1]);
        }
        h = (h ^ last) * 0x94d049bb133111ebULL;
        h ^= h >> 32;
        h *= 0xd6e8feb86659fd93ULL;
        return quint32(h ^ (h >> 32));
    }

    void growBuckets()
    {
        std::vector<quint32> larger(std::max<size_t>(64, buckets.size() * 2), 0u);
        const size_t mask = larger.size() - 1;
        for (quint32 index = 0; index < quint32(strings.size()); ++index) {
            size_t i = stringHashes[index] & mask;
            while (larger[i])
                i = (i + 1) & mask;
            larger[i] = index + 1;
        }
        buckets.swap(larger);
    }

    quint32 intern(const char* bytes, int size)
    {
        if (lastIndex < strings.size() && sameBytes(strings[lastIndex], bytes, size))
            return lastIndex;
        if ((strings.size() + 1) * 2 > buckets.size())
            growBuckets();
        const quint32 hash = hashBytes(bytes, size);
        const size_t mask = buckets.size() - 1;
        for (size_t i = hash & mask;; i = (i + 1) & mask) {
            if (buckets[i] == 0) {
                const quint32 index = quint32(strings.size());
                strings.emplace_back(bytes, size);
                stringHashes.push_back(hash);
                buckets[i] = index + 1;
                ranks.clear();
                return lastIndex = index;
            }
            const quint32 index = buckets[i] - 1;
            if (stringHashes[index] == hash && sameBytes(strings[index], bytes, size))
                return lastIndex = index;
        }
    }

    // Values as an engine reads them, one row at a time.
    void setNull(int row) { set(row, KNull, 0); }
    void setInteger(int row, qint64 value) { set(row, KInt, quint64(value)); }
    void setReal(int row, double value) { set(row, KReal, std::bit_cast<quint64>(value)); }
    void setText(int row, const char* bytes, int size) { set(row, KText, intern(bytes, size)); }
    void setBlob(int row, const char* bytes, int size) { set(row, KBlob, intern(bytes ? bytes : "", size)); }

    QVariant value(int row) const;
    void store(int row, const QVariant& value);

    // Ranks of the distinct texts in the order a Chinese user expects, letter case ignored.
    const std::vector<quint32>& textRanks();
};

} // namespace data
