#include "dbcmessage.h"

#include <algorithm>

std::size_t DbcMessage::decode(const uint8_t *data, std::size_t size,
                               std::vector<DbcDecodedSignal> &out) const
{
    uint8_t padded[DbcSignal::PaddedSize] = {};
    size = data ? std::min(size, DbcSignal::MaxFrameBytes) : 0;
    if (size > 0)
        std::memcpy(padded, data, size);
    out.resize(signalList.size());

    const std::size_t count = signalList.size();
    for (std::size_t i = 0; i < count; ++i) {
        const DbcSignal &signal = signalList[i];
        DbcDecodedSignal &decoded = out[i];
        decoded.present = signal.decodable && signal.bytesNeeded() <= size;
        decoded.raw = decoded.present ? signal.extract(padded) : 0;
    }
    // Switches come first in multiplexOrder, so each signal finds its
    // switch's presence already settled.
    for (const uint32_t i : multiplexOrder) {
        const DbcSignal &signal = signalList[i];
        if (signal.multiplexor < 0)
            continue;
        const DbcDecodedSignal &selector = out[std::size_t(signal.multiplexor)];
        DbcDecodedSignal &decoded = out[i];
        decoded.present = decoded.present && selector.present && signal.selectedBy(selector.raw);
    }
    std::size_t present = 0;
    for (std::size_t i = 0; i < count; ++i) {
        DbcDecodedSignal &decoded = out[i];
        decoded.value = decoded.present ? signalList[i].physicalValue(decoded.raw) : 0;
        present += decoded.present;
    }
    return present;
}

int DbcMessage::signalIndex(std::string_view signalName) const
{
    for (std::size_t i = 0; i < signalList.size(); ++i) {
        if (signalList[i].name == signalName)
            return int(i);
    }
    return -1;
}

std::vector<std::size_t> DbcMessage::prepareMultiplexing()
{
    const std::size_t count = signalList.size();
    multiplexOrder.clear();
    std::vector<std::size_t> circular;
    // depth: how many switches stand above a signal; -1 not known yet, -2 on
    // the chain being walked, -3 in or below a circle.
    std::vector<int> depth(count, -1);
    std::vector<std::size_t> chain;
    bool multiplexed = false;
    for (std::size_t i = 0; i < count; ++i) {
        std::size_t at = i;
        while (depth[at] == -1) {
            const int above = signalList[at].multiplexor;
            if (above < 0 || std::size_t(above) >= count) {
                depth[at] = 0;
                break;
            }
            multiplexed = true;
            depth[at] = -2;
            chain.push_back(at);
            at = std::size_t(above);
        }
        // Walk back down the chain, each signal one below the one it names.
        int reached = depth[at] < 0 ? -3 : depth[at];
        while (!chain.empty()) {
            const std::size_t below = chain.back();
            chain.pop_back();
            reached = reached < 0 ? -3 : reached + 1;
            depth[below] = reached;
        }
    }
    for (std::size_t i = 0; i < count; ++i) {
        if (depth[i] < 0) {
            signalList[i].decodable = false;
            circular.push_back(i);
        }
    }
    if (!multiplexed)
        return circular;
    for (std::size_t i = 0; i < count; ++i)
        multiplexOrder.push_back(uint32_t(i));
    std::stable_sort(multiplexOrder.begin(), multiplexOrder.end(),
                     [&depth](uint32_t a, uint32_t b) { return depth[a] < depth[b]; });
    return circular;
}
