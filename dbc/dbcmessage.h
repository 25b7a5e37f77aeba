#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "dbcdecodedsignal.h"
#include "dbcsignal.h"
#include "dbctypes.h"

// One message of a database (a BO_ entry) and the signals it carries, in the
// file's order: that order is stable and indexes decoded values.
class DbcMessage final
{
public:
    uint32_t id = 0; // without the file's extended mark (bit 31)
    bool extended = false;
    std::string name;
    uint8_t length = 0; // bytes, up to 64
    std::string transmitter;
    std::string comment;
    int cycleTime = 0;    // milliseconds from GenMsgCycleTime; 0 when not given
    std::size_t file = 0; // where it is defined: index in DbcDatabase::files(), and line
    int line = 0;
    std::vector<DbcAttribute> attributes;
    std::vector<DbcSignal> signalList;

    // The lookup key of an identifier: bit 31 marks extended, as in the file.
    static uint32_t key(uint32_t identifier, bool isExtended)
    {
        return (identifier & 0x1FFFFFFFu) | (isExtended ? 0x80000000u : 0u);
    }
    uint32_t key() const { return key(id, extended); }

    // Decodes one frame's data (size bytes; more than 64 are not read):
    // out gets one entry per signal of signalList, in its order. Returns the
    // number of signals present. Reuse out across frames to spare allocations.
    std::size_t decode(const uint8_t *data, std::size_t size,
                       std::vector<DbcDecodedSignal> &out) const;

    // The index of the signal with that name, or -1. Linear.
    int signalIndex(std::string_view signalName) const;

    // Orders switches before the signals they select, for decode(). Signals in
    // a circle of switches become undecodable; returns their indexes.
    std::vector<std::size_t> prepareMultiplexing();

private:
    std::vector<uint32_t> multiplexOrder; // empty when no signal is multiplexed
};
