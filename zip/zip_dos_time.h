#pragma once
// DOS date and time as zip headers store them, from and to local time.
#include <cstdint>
#include <ctime>

namespace parvola {

struct DosDateTime {
    uint16_t date = 0;  // day + (year - 1980) * 512 + month * 32
    uint16_t time = 0;  // hours * 2048 + minutes * 32 + seconds / 2
};

// Local time of `t`. Years before 1980 contribute no year term; years after
// 2107 (the last the 7-bit field can hold) are held at 2107.
DosDateTime dosDateTimeFromTime(time_t t);
// The local time a DOS date and time stand for; out-of-range fields are
// normalised the way mktime does.
time_t timeFromDosDateTime(uint16_t date, uint16_t time);

}  // namespace parvola
