#include "cli/json_text.h"

#include <cstdio>
#include <ctime>

namespace parvola::cli {

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (byte < 0x20) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
                    out += escaped;
                } else {
                    out += c;
                }
        }
    }
    return out + "\"";
}

std::string jsonTime(const std::string& catalogTime) {
    std::tm local{};
    int consumed = 0;
    if (std::sscanf(catalogTime.c_str(), "%2d-%2d-%2d %2d:%2d:%2d%n", &local.tm_year, &local.tm_mon,
                    &local.tm_mday, &local.tm_hour, &local.tm_min, &local.tm_sec, &consumed) != 6 ||
        consumed != static_cast<int>(catalogTime.size()))
        return "null";
    local.tm_year += 100;  // years since 1900: "26" is 2026
    local.tm_mon -= 1;
    local.tm_isdst = -1;
    const std::time_t when = std::mktime(&local);
    if (when == static_cast<std::time_t>(-1))
        return "null";
    std::tm resolved{};
    localtime_r(&when, &resolved);
    char text[48];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &resolved);
    // The local offset in minutes; real zones stay within a day.
    const int offset = static_cast<int>(resolved.tm_gmtoff / 60 % (24 * 60));
    const int magnitude = offset < 0 ? -offset : offset;
    char zone[16];
    std::snprintf(zone, sizeof zone, "%c%02d:%02d", offset < 0 ? '-' : '+', magnitude / 60,
                  magnitude % 60);
    return "\"" + std::string(text) + zone + "\"";
}

}  // namespace parvola::cli
