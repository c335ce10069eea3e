#include "mail/imap_names.h"

namespace parvola {
namespace {

// The base64 alphabet of modified UTF-7: "," in place of "/", no padding.
constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+,";

// Decodes one UTF-8 character at `at` (advanced past it); false when the
// bytes are not UTF-8.
bool nextCodePoint(std::string_view text, size_t& at, uint32_t& point) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    int extra = 0;
    if (lead < 0x80) {
        point = lead;
    } else if ((lead & 0xe0) == 0xc0) {
        point = lead & 0x1f;
        extra = 1;
    } else if ((lead & 0xf0) == 0xe0) {
        point = lead & 0x0f;
        extra = 2;
    } else if ((lead & 0xf8) == 0xf0) {
        point = lead & 0x07;
        extra = 3;
    } else {
        return false;
    }
    if (at + static_cast<size_t>(extra) >= text.size())
        return false;
    for (int i = 1; i <= extra; ++i) {
        const unsigned char c = byte(at + static_cast<size_t>(i));
        if ((c & 0xc0) != 0x80)
            return false;
        point = (point << 6) | (c & 0x3f);
    }
    static constexpr uint32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
    if (point < kLeast[extra] || point > 0x10ffff || (point >= 0xd800 && point <= 0xdfff))
        return false;
    at += static_cast<size_t>(extra) + 1;
    return true;
}

void flushRun(std::vector<uint16_t>& run, std::string& wire) {
    if (run.empty())
        return;
    wire += '&';
    uint32_t bits = 0;
    int count = 0;
    for (uint16_t unit : run) {
        bits = (bits << 16) | unit;
        count += 16;
        while (count >= 6) {
            count -= 6;
            wire += kAlphabet[(bits >> count) & 0x3f];
        }
        bits &= (1u << count) - 1;
    }
    if (count > 0)
        wire += kAlphabet[(bits << (6 - count)) & 0x3f];
    wire += '-';
    run.clear();
}

}  // namespace

bool imapQuoted(std::string_view value, std::string& quoted) {
    quoted.clear();
    quoted.reserve(value.size() + 2);
    quoted.push_back('"');
    for (char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == 0 || byte >= 0x80 || c == '\r' || c == '\n')
            return false;
        if (c == '"' || c == '\\')
            quoted += '\\';
        quoted += c;
    }
    quoted += '"';
    return true;
}

bool imapMailboxName(std::string_view name, std::string& wire) {
    wire.clear();
    std::vector<uint16_t> run;
    for (size_t at = 0; at < name.size();) {
        uint32_t point = 0;
        if (!nextCodePoint(name, at, point))
            return false;
        if (point >= 0x20 && point <= 0x7e) {
            flushRun(run, wire);
            wire += static_cast<char>(point);
            if (point == '&')
                wire += '-';
        } else if (point >= 0x10000) {
            point -= 0x10000;
            run.push_back(static_cast<uint16_t>(0xd800 + (point >> 10)));
            run.push_back(static_cast<uint16_t>(0xdc00 + (point & 0x3ff)));
        } else {
            run.push_back(static_cast<uint16_t>(point));
        }
    }
    flushRun(run, wire);
    return true;
}

std::string imapUidSet(const std::vector<uint32_t>& uids) {
    std::string set;
    for (size_t i = 0; i < uids.size();) {
        size_t j = i;
        while (j + 1 < uids.size() && uids[j + 1] == uids[j] + 1)
            ++j;
        if (!set.empty())
            set += ',';
        set += std::to_string(uids[i]);
        if (j > i) {
            set += ':';
            set += std::to_string(uids[j]);
        }
        i = j + 1;
    }
    return set;
}

}  // namespace parvola
