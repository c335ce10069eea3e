#include "zip/zip_names.h"

#include <zlib.h>

#include <algorithm>

#include "platform/text_codec.h"
#include "zip/zip_bytes.h"

namespace parvola {

namespace {

constexpr uint16_t kUnicodePathExtra = 0x7075;
constexpr int kHostUnix = 3;
constexpr int kHostDarwin = 19;

std::string withSeparator(std::string_view text, char from, char to) {
    std::string out(text);
    std::replace(out.begin(), out.end(), from, to);
    return out;
}

// The UTF-8 name of a Unicode path extra field, valid only while its CRC-32
// matches the stored name (a later rename by an older tool invalidates it).
std::optional<std::string> unicodePathName(std::string_view stored, std::string_view extra) {
    size_t pos = 0;
    while (pos + 4 <= extra.size()) {
        uint16_t id = zipbytes::get16(extra, pos);
        uint16_t size = zipbytes::get16(extra, pos + 2);
        pos += 4;
        if (pos + size > extra.size())
            break;
        if (id == kUnicodePathExtra && size >= 5 && extra[pos] == 1) {
            uint32_t crc = zipbytes::get32(extra, pos + 1);
            uint32_t actual =
                static_cast<uint32_t>(::crc32(0, reinterpret_cast<const Bytef*>(stored.data()),
                                              static_cast<uInt>(stored.size())));
            std::string_view name = extra.substr(pos + 5, size - 5);
            if (crc == actual && isValidUtf8(name))
                return std::string(name);
        }
        pos += size;
    }
    return std::nullopt;
}

std::vector<std::string> splitParts(std::string_view name) {
    std::vector<std::string> parts;
    std::string current;
    for (char c : name) {
        if (c == '\\' || c == '/') {
            parts.push_back(current);
            current.clear();
        } else {
            current.push_back(c);
        }
    }
    parts.push_back(current);
    return parts;
}

bool isDriveLetter(const std::string& part) {
    return part.size() == 2 && part[1] == ':' &&
           ((part[0] >= 'A' && part[0] <= 'Z') || (part[0] >= 'a' && part[0] <= 'z'));
}

}  // namespace

std::string archiveNameFromMemory(std::string_view memoryName) {
    return utf8ToWire(withSeparator(memoryName, '\\', '/'));
}

std::string memoryNameFromArchive(std::string_view stored, uint16_t flags,
                                  std::string_view centralExtra, uint16_t versionMadeBy) {
    const int host = versionMadeBy >> 8;
    const bool unixLikeHost = host == kHostUnix || host == kHostDarwin;
    std::string utf8;
    if ((flags & 0x0800) != 0) {
        convertText(stored, "UTF-8", "UTF-8", utf8);
    } else if (auto unicode = unicodePathName(stored, centralExtra)) {
        utf8 = *unicode;
    } else if (unixLikeHost && isValidUtf8(stored)) {
        utf8 = stored;
    } else {
        utf8 = wireToUtf8(stored);
    }
    return withSeparator(utf8, '/', '\\');
}

std::string entryNameForSource(const std::string& sourcePath, bool keepFullPath, int entryCount) {
    std::string name;
    if (keepFullPath) {
        size_t start = sourcePath.find_first_not_of('/');
        name = start == std::string::npos ? std::string() : sourcePath.substr(start);
    } else {
        name = std::filesystem::path(sourcePath).filename().string();
    }
    if (name.empty())
        name = "file" + std::to_string(entryCount);
    return withSeparator(name, '/', '\\');
}

std::optional<std::vector<std::string>> safeRelativeParts(std::string_view memoryName,
                                                          bool keepFullPath, bool isDirectory) {
    if (memoryName.find('\0') != std::string_view::npos)
        return std::nullopt;
    std::vector<std::string> raw = splitParts(memoryName);
    std::vector<std::string> parts;
    for (size_t i = 0; i < raw.size(); ++i) {
        const std::string& part = raw[i];
        if (part == "..")
            return std::nullopt;
        if (part.empty() || part == ".")
            continue;
        if (parts.empty() && i == 0 && isDriveLetter(part))
            continue;
        parts.push_back(part);
    }
    if (!keepFullPath) {
        if (isDirectory)
            return std::vector<std::string>{};
        // The name reduced to its file name: the text after the last separator.
        const std::string& last = raw.back();
        if (last.empty() || last == "." || (raw.size() == 1 && isDriveLetter(last)))
            return std::nullopt;
        return std::vector<std::string>{last};
    }
    if (parts.empty())
        return std::nullopt;
    return parts;
}

int compareNamesNoCase(std::string_view a, std::string_view b) {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z')
            x = static_cast<unsigned char>(x + 32);
        if (y >= 'A' && y <= 'Z')
            y = static_cast<unsigned char>(y + 32);
        if (x != y)
            return x < y ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

}  // namespace parvola
