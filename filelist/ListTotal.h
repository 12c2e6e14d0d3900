#pragma once

#include "filelist/ListedEntry.h"

#include <functional>

// The listed files' total, as the size line shows it and the limit judges
// it: the float sum of their sizes in key order, which depends on the order
// once sums round. Kept exactly too, in units of one byte's size, so that a
// file added anywhere is judged at once, and the float sum is taken anew
// only when the order could change an answer.
class ListTotal
{
public:
    static constexpr float limit = 500.0f;

    // How to sum the listed sizes in key order, from 0.0.
    explicit ListTotal(std::function<float()> sumInKeyOrder);

    float value() const;
    // During a long addition: the exact total where the float sum has not
    // been taken anew; they differ in the last place at most.
    float soFar() const;
    // Whether the entry fits under the limit beside the listed ones: its
    // size added to the float sum, both as floats, within the limit.
    bool fits(const ListedEntry &entry, qsizetype listed) const;

    void add(const ListedEntry &entry, bool isLastKey);
    void remove(const ListedEntry &entry);
    void reset(float keyOrderSum = 0.0f, qint64 units = 0);

    // A size in megabytes is a whole number of bytes scaled by 2^-20.
    static qint64 unitsOf(const ListedEntry &entry);

private:
    std::function<float()> sumInKeyOrder;
    mutable float keyOrderSum = 0.0f;
    mutable bool keyOrderSumValid = true;
    qint64 exactUnits = 0;
};
