#pragma once
// Entry names: UTF-8 with backslash separators in memory; in the archive the
// wire code page (GB18030, which Windows clients of the same store write as
// their OEM code page) with forward slashes.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace parvola {

// In-memory name -> the bytes stored in the archive. Separators are turned
// into '/' before the code-page conversion, because a GB18030 trail byte can
// be 0x5C and must never be taken for a backslash.
std::string archiveNameFromMemory(std::string_view memoryName);

// Stored bytes -> in-memory name. Names flagged UTF-8 (flag bit 11), carrying
// a matching Unicode path extra field (0x7075), or written on a Unix-like host
// (which stores its UTF-8 names as they are) and valid as UTF-8, are taken as
// UTF-8; all others are decoded from the wire code page.
std::string memoryNameFromArchive(std::string_view stored, uint16_t flags,
                                  std::string_view centralExtra, uint16_t versionMadeBy = 0);

// The entry name for a source file on disk: its file name alone, or with
// `keepFullPath` the whole path without leading separators. An empty result
// becomes "file<entryCount>".
std::string entryNameForSource(const std::string& sourcePath, bool keepFullPath, int entryCount);

// The folders and file name under the destination folder that an entry name
// may be extracted to. Without `keepFullPath` only the last part is kept.
// Leading separators and a drive letter are dropped; empty and "." parts are
// skipped. A ".." part, a NUL byte, or nothing left gives nullopt, so no entry
// name can lead outside the destination folder. An entry naming a directory
// with `keepFullPath` unset gives an empty list (the destination itself).
std::optional<std::vector<std::string>> safeRelativeParts(std::string_view memoryName,
                                                          bool keepFullPath, bool isDirectory);

// ASCII-case-insensitive order and equality of entry names.
int compareNamesNoCase(std::string_view a, std::string_view b);

}  // namespace parvola
