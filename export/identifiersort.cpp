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

QVector<Vemi_CANFD_Data> IdentifierSort::sorted(const QVector<Vemi_CANFD_Data> &frames,
                                                SortOrder order)
{
    if (order != SortOrder::Ascending && order != SortOrder::Descending)
        return frames;
    std::vector<Key> keys(std::size_t(frames.size()));
    for (int i = 0; i < frames.size(); ++i)
        keys[std::size_t(i)] = Key{frames.at(i).identifier(), uint32_t(i)};
    // The remote and extended bits take no part in the key.
    if (order == SortOrder::Ascending)
        std::sort(keys.begin(), keys.end(),
                  [](const Key &a, const Key &b) { return a.identifier < b.identifier; });
    else
        std::sort(keys.begin(), keys.end(),
                  [](const Key &a, const Key &b) { return a.identifier > b.identifier; });

    QVector<Vemi_CANFD_Data> result;
    result.reserve(frames.size());
    for (const Key &key : keys)
        result.append(frames.at(int(key.position)));
    return result;
}
