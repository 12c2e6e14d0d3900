#include "filelist/ListTotal.h"

namespace {

constexpr float unitsPerMegabyte = 1048576.0f;
constexpr qint64 limitUnits = qint64(500) << 20;
// Below this many units every partial sum in any order is exact.
constexpr qint64 exactBelowUnits = qint64(1) << 24;
// Each step of a float sum of sizes under 512 MB rounds by at most half a
// unit in the last place of 512 MB: 2^-16 MB, which is 16 units.
constexpr qint64 roundingPerStepUnits = 16;

} // namespace

ListTotal::ListTotal(std::function<float()> sumInKeyOrder)
    : sumInKeyOrder(std::move(sumInKeyOrder))
{
}

qint64 ListTotal::unitsOf(const ListedEntry &entry)
{
    return qint64(entry.size() * unitsPerMegabyte);
}

float ListTotal::value() const
{
    if (!keyOrderSumValid) {
        keyOrderSum = sumInKeyOrder();
        keyOrderSumValid = true;
    }
    return keyOrderSum;
}

float ListTotal::soFar() const
{
    return keyOrderSumValid ? keyOrderSum : float(exactUnits) / unitsPerMegabyte;
}

// Summing in key order costs the whole list, so the exact count decides
// wherever the float sums' rounding cannot change the answer.
bool ListTotal::fits(const ListedEntry &entry, qsizetype listed) const
{
    const qint64 after = exactUnits + unitsOf(entry);
    const qint64 doubt = (qint64(listed) + 1) * roundingPerStepUnits;
    if (after < limitUnits - doubt)
        return true;
    if (after > limitUnits + doubt)
        return false;
    return entry.size() + value() <= limit;
}

// Added behind every other key, the running sum is the sum in key order.
// Elsewhere it still is while the exact total stays below 2^24 units: every
// size is a whole number of units, so no partial sum in any order rounds.
void ListTotal::add(const ListedEntry &entry, bool isLastKey)
{
    exactUnits += unitsOf(entry);
    if (keyOrderSumValid && (isLastKey || exactUnits < exactBelowUnits))
        keyOrderSum += entry.size();
    else
        keyOrderSumValid = false;
}

void ListTotal::remove(const ListedEntry &entry)
{
    exactUnits -= unitsOf(entry);
    keyOrderSumValid = false;
}

void ListTotal::reset(float sum, qint64 units)
{
    keyOrderSum = sum;
    keyOrderSumValid = true;
    exactUnits = units;
}
