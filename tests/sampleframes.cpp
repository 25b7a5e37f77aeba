#include "sampleframes.h"

#include <cstring>

#include "testsupport.h"

namespace SampleFrames {

QVector<Vemi_CANFD_Data> varied(int count)
{
    using TestSupport::makeFrame;
    // Payload lengths a CAN FD frame can have; an empty one is left to the
    // tests that name it.
    static const uint8_t fdLengths[] = {1, 8, 12, 16, 20, 24, 32, 48, 64};
    constexpr int fdLengthCount = int(sizeof fdLengths);

    QVector<Vemi_CANFD_Data> frames;
    frames.reserve(count);
    for (int i = 0; i < count; ++i) {
        // 37 is odd, so i * 37 runs through all 2048 standard identifiers.
        const uint32_t standardId = (0x100u + uint32_t(i) * 37u) % 0x800u;
        const uint32_t extendedId = 0x18DA0000u + uint32_t(i);
        const uint64_t time = uint64_t(i) * 1000u + uint64_t(i % 7) * 13u;
        const auto firstByte = uint8_t(i * 3);
        const auto classicLength = uint8_t(i % 9);
        const uint8_t fdLength = fdLengths[i % fdLengthCount];
        switch (i % 8) {
        case 0:
            frames << makeFrame(standardId, classicLength, 0, false, false, false, time,
                                firstByte);
            break;
        case 1:
            frames << makeFrame(extendedId, 8, 0, true, false, true, time, firstByte);
            break;
        case 2:
            frames << makeFrame(standardId, classicLength, 0, false, true, false, time, firstByte);
            break;
        case 3:
            frames << makeFrame(standardId, fdLength, 2, false, false, false, time, firstByte);
            break;
        case 4:
            frames << makeFrame(extendedId, fdLength, 3, true, false, true, time, firstByte);
            break;
        case 5:
            frames << makeFrame(extendedId, 4, 0, true, true, true, time, firstByte);
            break;
        case 6:
            frames << makeFrame(standardId, 12, 3, false, false, true, time, firstByte);
            break;
        default:
            frames << makeFrame(standardId, 8, 0, false, false, true, time, firstByte);
            break;
        }
        // A remote frame asks for data and carries none.
        if (frames.last().isRemote())
            std::memset(frames.last().data, 0, sizeof frames.last().data);
    }
    return frames;
}

} // namespace SampleFrames
