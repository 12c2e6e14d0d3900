#include "filelist/ListedEntry.h"

namespace {

constexpr float perKibibyte = 0.0009765625f;

} // namespace

float ListedEntry::size() const
{
    return float(bytes) * perKibibyte * perKibibyte;
}
