#pragma once
// One entry's header as the central directory holds it, and its local and
// central records on disk.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace parvola {

struct ZipEntryHeader {
    static constexpr uint16_t kVersion = 20;  // made by (MS-DOS host) and needed
    static constexpr size_t kLocalSize = 30;
    static constexpr size_t kCentralSize = 46;
    static constexpr uint16_t kFlagEncrypted = 0x0001;
    static constexpr uint16_t kFlagDataDescriptor = 0x0008;
    static constexpr uint16_t kFlagUtf8Name = 0x0800;
    static constexpr uint16_t kMethodStored = 0;
    static constexpr uint16_t kMethodDeflated = 8;
    static constexpr uint32_t kAttrReadOnly = 0x01;
    static constexpr uint32_t kAttrDirectory = 0x10;
    static constexpr uint32_t kAttrArchive = 0x20;

    uint16_t versionMadeBy = kVersion;
    uint16_t versionNeeded = kVersion;
    uint16_t flags = 0;
    uint16_t method = kMethodDeflated;
    uint16_t modTime = 0;
    uint16_t modDate = 0;
    uint32_t crc32 = 0;
    uint32_t compressedSize = 0;
    uint32_t uncompressedSize = 0;
    uint16_t diskStart = 0;
    uint16_t internalAttributes = 0;
    uint32_t externalAttributes = 0;
    uint32_t localHeaderOffset = 0;
    std::string extraField;
    std::string fileName;    // UTF-8, backslash separators (the in-memory form)
    std::string storedName;  // the name's bytes in the archive (wire code page, '/')
    std::string comment;

    bool isDirectory() const;
    bool isEncrypted() const { return (flags & kFlagEncrypted) != 0; }
    bool hasDataDescriptor() const { return (flags & kFlagDataDescriptor) != 0; }

    // True when name, extra field and comment each fit their 16-bit lengths.
    bool fieldLengthsFit() const;
    std::string localRecord() const;    // 30 bytes + name + extra
    std::string centralRecord() const;  // 46 bytes + name + extra + comment

    // Parses a central record at `pos` of `directory` (which ends where the
    // central directory ends) and advances `pos`. Names are converted to the
    // in-memory form. Empty on a bad signature or a record that overruns.
    static std::optional<ZipEntryHeader> parseCentral(std::string_view directory, size_t& pos);
};

// The fixed part of a local record as read back before extraction.
struct ZipLocalHeader {
    uint16_t flags = 0;
    uint16_t method = 0;
    uint32_t crc32 = 0;
    uint32_t compressedSize = 0;
    uint32_t uncompressedSize = 0;
    uint16_t nameLength = 0;
    uint16_t extraLength = 0;

    // Empty when the 30 bytes do not start with the local signature.
    static std::optional<ZipLocalHeader> parse(std::string_view fixedPart);
};

}  // namespace parvola
