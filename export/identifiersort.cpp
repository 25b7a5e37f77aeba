#include "identifiersort.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

struct Key
{
    uint32_t identifier;
    uint32_t position;
};

} // namespace

std::vector<uint32_t> IdentifierSort::positions(const QVector<Vemi_CANFD_Data> &frames,
                                                SortOrder order)
{
    return positions(FrameSnapshot(frames), order);
}

std::vector<uint32_t> IdentifierSort::positions(const FrameSnapshot &frames, SortOrder order)
{
    if (order != SortOrder::Ascending && order != SortOrder::Descending)
        return {};
    std::vector<Key> keys(std::size_t(frames.size()));
    for (int i = 0; i < frames.size(); ++i)
        keys[std::size_t(i)] = Key{frames.identifierAt(i), uint32_t(i)};
    // The remote and extended bits take no part in the key.
    if (order == SortOrder::Ascending)
        std::sort(keys.begin(), keys.end(),
                  [](const Key &a, const Key &b) { return a.identifier < b.identifier; });
    else
        std::sort(keys.begin(), keys.end(),
                  [](const Key &a, const Key &b) { return a.identifier > b.identifier; });

    std::vector<uint32_t> result(keys.size());
    for (std::size_t i = 0; i < keys.size(); ++i)
        result[i] = keys[i].position;
    return result;
}
