#pragma once
// Reading and writing whole text files in the encoding they carry (byte-order
// mark, declared encoding, or UTF-8 found by inspection), converted to and from
// the process's own text, which is UTF-8. Each call leaves a short diagnostic
// of what it did.
#include <cstddef>
#include <string>
#include <string_view>

namespace parvola {

// The process's "ANSI" code page: UTF-8 on this platform.
constexpr int kAnsiCodePage = 65001;
// The code page that stands for UTF-32 (converted by hand on the original platform).
constexpr int kUtf32CodePage = 65005;

struct CharsetEntry {
    const char* name;
    int codePage;
};
// The 254 character-set names, lower case, sorted.
extern const CharsetEntry kCharsets[];
extern const size_t kCharsetCount;

// Code page of a character-set name: 0 for the empty name, 65005 for names
// beginning "UTF-32", -1 for unknown names or names of 100 characters or more.
int codePageOf(std::string_view name);

// The iconv name of a code page (0 means the process's own, UTF-8).
std::string iconvNameOf(int codePage);

// The encoding named by the text's XML declaration or HTML meta tag, or empty.
std::string declaredEncoding(std::string_view text);

// Which version of a file was read: files are replaced by rename, so a new
// version is a new inode with its own change time.
struct FileStamp {
    unsigned long long device = 0, inode = 0, size = 0;
    long long changeSeconds = 0, changeNanoseconds = 0;
    bool operator==(const FileStamp&) const = default;
};

// The stamp of the file at `path`; false when it cannot be examined.
bool stampOf(const std::string& path, FileStamp& stamp);

// Reads a whole file's bytes in one piece; false (with the system's message) on
// failure. `stamp`, when given, receives the stamp of the file that was read.
bool readFileBytes(const std::string& path, std::string& bytes, std::string& diagnostic,
                   FileStamp* stamp = nullptr);

// Turns a file's bytes into UTF-8 text (what readTextFile does after reading).
void decodeTextBytes(std::string bytes, std::string& text, std::string& diagnostic, int& flags);

// Reads the whole file into UTF-8 text. `flags` (document flags) gains the
// byte-order-mark flag found. False when the file could not be read.
bool readTextFile(const std::string& path, std::string& text, std::string& diagnostic, int& flags);

// Writes UTF-8 text in the encoding the text declares (with the byte-order mark
// the flags carry), through a temporary file renamed over `path`.
// `written`, when given, receives the bytes that went into the file.
bool writeTextFile(const std::string& path, const std::string& text, std::string& diagnostic,
                   int& flags, std::string* written = nullptr);

}  // namespace parvola
