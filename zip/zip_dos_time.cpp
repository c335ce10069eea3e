#include "zip/zip_dos_time.h"

namespace parvola {

DosDateTime dosDateTimeFromTime(time_t t) {
    struct tm local {};
    localtime_r(&t, &local);
    int year = local.tm_year + 1900;
    int yearTerm = year > 1980 ? year - 1980 : 0;
    if (yearTerm > 127)
        yearTerm = 127;
    DosDateTime out;
    out.date = static_cast<uint16_t>(local.tm_mday + yearTerm * 512 + (local.tm_mon + 1) * 32);
    out.time = static_cast<uint16_t>(local.tm_hour * 2048 + local.tm_min * 32 + local.tm_sec / 2);
    return out;
}

time_t timeFromDosDateTime(uint16_t date, uint16_t time) {
    struct tm local {};
    local.tm_year = (date >> 9) + 80;
    local.tm_mon = ((date >> 5) & 0x0F) - 1;
    local.tm_mday = date & 0x1F;
    local.tm_hour = time >> 11;
    local.tm_min = (time >> 5) & 0x3F;
    local.tm_sec = (time & 0x1F) * 2;
    local.tm_isdst = -1;
    return mktime(&local);
}

}  // namespace parvola
