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

void Vemi_CANFD_Data::setTimeText(QStringView text)
{
    // Encoded straight into the field, without a temporary per frame. A
    // character that does not fit whole is left out, so the text never ends in
    // half a UTF-8 sequence.
    std::size_t n = 0;
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        char32_t c = text[i].unicode();
        bool pair = false;
        if (QChar::isHighSurrogate(c) && i + 1 < size && text[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(char16_t(c), text[i + 1].unicode());
            pair = true;
        } else if (QChar::isSurrogate(c)) {
            c = QChar::ReplacementCharacter;
        }
        const std::size_t bytes = c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
        if (n + bytes > TimeTextSize - 1)
            break;
        if (bytes == 1) {
            timeText[n++] = char(c);
        } else {
            const unsigned char lead[] = {0, 0, 0xC0, 0xE0, 0xF0};
            timeText[n++] = char(lead[bytes] | (c >> (6 * (bytes - 1))));
            for (std::size_t k = bytes - 1; k > 0; --k)
                timeText[n++] = char(0x80 | ((c >> (6 * (k - 1))) & 0x3F));
        }
        if (pair)
            ++i;
    }
    timeText[n] = '\0';
}

int Vemi_CANFD_Data::lengthToDlc(int length)
{
    if (length <= MaxClassicLength)
        return std::max(length, 0);
    switch (length) {
    case 12: return 9;
    case 16: return 10;
    case 20: return 11;
    case 24: return 12;
    case 32: return 13;
    case 48: return 14;
    default: return 15;
    }
}

int Vemi_CANFD_Data::dlcToLength(int dlc)
{
    static const int lengths[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 12, 16, 20, 24, 32, 48, 64};
    return lengths[dlc & 0x0F];
}

void registerFrameMetaTypes()
{
    qRegisterMetaType<QVector<Vemi_CANFD_Data>>("QVector<Vemi_CANFD_Data>");
    qRegisterMetaType<Vemi_CANFD_Data>("Vemi_CANFD_Data");
}
