#include "decimaltext.h"

#include <cstring>

const char DecimalText::pairs[201] = "00010203040506070809"
                                     "10111213141516171819"
                                     "20212223242526272829"
                                     "30313233343536373839"
                                     "40414243444546474849"
                                     "50515253545556575859"
                                     "60616263646566676869"
                                     "70717273747576777879"
                                     "80818283848586878889"
                                     "90919293949596979899";

int DecimalText::writeUnsigned(uint64_t value, char *out)
{
    char digits[20];
    int count = 0;
    while (value >= 100) {
        count += 2;
        std::memcpy(digits + sizeof digits - count, pairs + 2 * (value % 100), 2);
        value /= 100;
    }
    if (value >= 10) {
        count += 2;
        std::memcpy(digits + sizeof digits - count, pairs + 2 * value, 2);
    } else {
        digits[sizeof digits - ++count] = char('0' + value);
    }
    std::memcpy(out, digits + sizeof digits - count, std::size_t(count));
    return count;
}

int DecimalText::writeSeconds(uint64_t micros, char *out)
{
    const uint64_t whole = micros / 1000000;
    int size = whole < 10 ? (*out = char('0' + whole), 1) : writeUnsigned(whole, out);
    out[size++] = '.';
    const uint32_t fraction = uint32_t(micros % 1000000);
    std::memcpy(out + size, pairs + 2 * (fraction / 10000), 2);
    std::memcpy(out + size + 2, pairs + 2 * (fraction / 100 % 100), 2);
    std::memcpy(out + size + 4, pairs + 2 * (fraction % 100), 2);
    return size + 6;
}

void DecimalText::writeClock(int msecsOfDay, char *out)
{
    const int seconds = msecsOfDay / 1000;
    const int minutes = seconds / 60;
    std::memcpy(out, pairs + 2 * (minutes / 60), 2);
    out[2] = ':';
    std::memcpy(out + 3, pairs + 2 * (minutes % 60), 2);
    out[5] = ':';
    std::memcpy(out + 6, pairs + 2 * (seconds % 60), 2);
    out[8] = ':';
    const int msecs = msecsOfDay % 1000;
    out[9] = char('0' + msecs / 100);
    std::memcpy(out + 10, pairs + 2 * (msecs % 100), 2);
}
