#include "vemi_canfd_data.h"

#include <algorithm>
#include <cstring>

Vemi_CANFD_Data &Vemi_CANFD_Data::operator=(const Vemi_CANFD_Data &other)
{
    if (this == &other)
        return *this;
    id = other.id;
    length = other.length;
    errorFlags = other.errorFlags;
    channel = other.channel;
    flags = other.flags;
    // A length above 64 never occurs in a record; the bound keeps a damaged one
    // from writing past the array.
    std::memcpy(data, other.data, std::min<std::size_t>(other.length, MaxDataLength));
    timestamp = other.timestamp;
    reserved1 = other.reserved1;
    std::memcpy(reserved2, other.reserved2, sizeof reserved2);
    std::memcpy(timeText, other.timeText, sizeof timeText);
    return *this;
}

Vemi_CANFD_Data &Vemi_CANFD_Data::operator=(Vemi_CANFD_Data &&other) noexcept
{
    return *this = static_cast<const Vemi_CANFD_Data &>(other);
}

void Vemi_CANFD_Data::setTimeText(const char *text, std::size_t size)
{
    const std::size_t n = std::min<std::size_t>(size, TimeTextSize - 1);
    std::memcpy(timeText, text, n);
    timeText[n] = '\0';
}

void registerFrameMetaTypes()
{
    qRegisterMetaType<QVector<Vemi_CANFD_Data>>("QVector<Vemi_CANFD_Data>");
    qRegisterMetaType<Vemi_CANFD_Data>("Vemi_CANFD_Data");
}
