#pragma once
// Private-profile INI files with the semantics of the Windows profile calls:
// sections and keys match without regard to ASCII case, a write changes one
// key and keeps every other line, a missing file or key reads as the default.
// Each call is whole across threads and processes: a write takes a lock file
// beside the INI file, then reads, changes, writes a temporary file and renames
// it over the original; a read takes no lock (and so creates no file), since it
// sees either the file before a write or the one after it.
#include <cstddef>
#include <optional>
#include <string>

namespace parvola {

// The value of `key` in `section`, or `defaultValue`. When `bufferSize` is given,
// the result is cut to bufferSize - 1 bytes, as a caller's fixed buffer would.
std::string readProfileString(const std::string& section, const std::string& key,
                              const std::string& defaultValue, const std::string& path,
                              std::optional<size_t> bufferSize = std::nullopt);

// The leading decimal integer of the value (optional sign), or `defaultValue`
// when the key is missing or does not start with a number.
int readProfileInt(const std::string& section, const std::string& key, int defaultValue,
                   const std::string& path);

// Sets `key` in `section` (created at the end of the file when missing).
// A nullopt value deletes the key. Returns false when the file cannot be written.
bool writeProfileString(const std::string& section, const std::string& key,
                        const std::optional<std::string>& value, const std::string& path);

}  // namespace parvola
