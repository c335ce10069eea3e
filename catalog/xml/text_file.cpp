#include "catalog/xml/text_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "catalog/xml/xml_doc.h"
#include "catalog/xml/xml_scanner.h"
#include "platform/file_lock.h"
#include "platform/text_codec.h"

namespace parvola {
namespace {

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

// fopen(path, "ab"), except that a file it creates has mode 0600.
FILE* openForAppend(const std::string& path) {
    int fd;
    do {
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return nullptr;
    FILE* file = ::fdopen(fd, "ab");
    if (file == nullptr) {
        const int error = errno;
        ::close(fd);
        errno = error;
    }
    return file;
}

std::string lowerAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + 32);
    }
    return out;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && lowerAscii(a) == lowerAscii(b);
}

// The system's message for the last error, first line only.
std::string systemMessage(int error) {
    std::string message = error != 0 ? std::strerror(error) : "Unknown error";
    return message.substr(0, message.find('\n'));
}

// "<before><value><after>", the way the diagnostic notes write a count.
std::string countNote(const char* before, long long value, const char* after) {
    return before + std::to_string(value) + after;
}

// Attribute value of a tag whose text starts at `tag` ('<' or '?' first).
std::string attributeOf(std::string_view tag, const char* name) {
    XmlAttributeSpan span = findXmlAttribute(tag, 0, name, true);
    if (!span.found)
        return {};
    return std::string(
        tag.substr(static_cast<size_t>(span.valueStart), static_cast<size_t>(span.valueLength)));
}

// "text/html; charset=gb2312" -> "gb2312".
std::string charsetOfContent(std::string_view content) {
    std::string lower = lowerAscii(content);
    size_t at = lower.find("charset");
    if (at == std::string::npos)
        return {};
    size_t i = at + 7;
    while (i < content.size() && (content[i] == ' ' || content[i] == '\t'))
        ++i;
    if (i >= content.size() || content[i] != '=')
        return {};
    ++i;
    while (i < content.size() && (content[i] == ' ' || content[i] == '\t'))
        ++i;
    size_t end = i;
    while (end < content.size() && content[end] != ';' && content[end] != ' ' &&
           content[end] != '\t' && content[end] != '"' && content[end] != '\'')
        ++end;
    return std::string(content.substr(i, end - i));
}

// A conversion between the file's encoding and the process's text is made only
// when both are known and their code pages differ.
int conversionCodePage(const std::string& encoding) {
    int cp = codePageOf(encoding);
    if (cp < 0)
        return 0;
    if (cp == 0)
        cp = kAnsiCodePage;
    return cp == kAnsiCodePage ? 0 : cp;
}

bool isUtf32(int codePage) {
    return codePage == kUtf32CodePage;
}

// Valid UTF-8 that holds at least one multibyte sequence.
bool looksLikeUtf8(std::string_view bytes) {
    bool multibyte = std::any_of(bytes.begin(), bytes.end(),
                                 [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
    return multibyte && isValidUtf8(bytes);
}

void swapUnits(std::string& units) {
    for (size_t i = 0; i + 1 < units.size(); i += 2)
        std::swap(units[i], units[i + 1]);
}

}  // namespace

int codePageOf(std::string_view name) {
    if (name.empty())
        return 0;
    if (name.size() >= 6 && equalsIgnoringCase(name.substr(0, 6), "UTF-32"))
        return kUtf32CodePage;
    if (name.size() >= 100)
        return -1;
    std::string key = lowerAscii(name);
    const CharsetEntry* end = kCharsets + kCharsetCount;
    const CharsetEntry* hit =
        std::lower_bound(kCharsets, end, key, [](const CharsetEntry& e, const std::string& k) {
            return std::strcmp(e.name, k.c_str()) < 0;
        });
    if (hit != end && key == hit->name)
        return hit->codePage;
    return -1;
}

std::string iconvNameOf(int codePage) {
    switch (codePage) {
        case 0:
        case 65001:
            return "UTF-8";
        case 65000:
            return "UTF-7";
        case 1200:
            return "UTF-16LE";
        case 1201:
            return "UTF-16BE";
        case kUtf32CodePage:
            return "UTF-32LE";
        case 936:
            return "CP936";
        case 54936:
            return "GB18030";
        case 52936:
            return "GB18030";  // HZ is not offered by iconv; its text is plain ASCII and GB codes
        case 950:
            return "CP950";
        case 949:
            return "CP949";
        case 932:
            return "CP932";
        case 1361:
            return "JOHAB";
        case 20127:
            return "ASCII";
        case 20866:
            return "KOI8-R";
        case 21866:
            return "KOI8-U";
        case 51932:
            return "EUC-JP";
        case 51949:
            return "EUC-KR";
        case 50220:
        case 50221:
        case 50222:
            return "ISO-2022-JP";
        case 50225:
            return "ISO-2022-KR";
        case 10000:
            return "MACINTOSH";
        case 10007:
            return "MAC-CYRILLIC";
        case 708:
            return "ASMO-708";
        case 38598:
            return "ISO-8859-8";
        case 37:
            return "IBM037";
        case 500:
            return "IBM500";
        default:
            break;
    }
    if (codePage >= 28591 && codePage <= 28605)
        return "ISO-8859-" + std::to_string(codePage - 28590);
    if (codePage >= 20273 && codePage <= 20871)
        return "IBM" + std::to_string(codePage - 20000);
    return "CP" + std::to_string(codePage);
}

std::string declaredEncoding(std::string_view text) {
    bool html = false;
    int pos = 0;
    while (true) {
        XmlNode node = scanXmlNode(text, pos);
        if (node.kind == kXmlEndOfDocument || node.kind == kXmlError)
            return {};
        std::string_view whole =
            text.substr(static_cast<size_t>(node.start), static_cast<size_t>(node.length));
        if (node.kind == kXmlProcessingInstruction && node.start == 0 &&
            xmlNameAt(text, 2) == "xml") {
            return attributeOf(whole.substr(1), "encoding");
        }
        if (node.kind == kXmlElement) {
            std::string_view name = xmlNameAt(text, node.start + 1);
            if (equalsIgnoringCase(name, "html")) {
                html = true;
            } else if (!html) {
                return {};
            } else if (equalsIgnoringCase(name, "meta") &&
                       equalsIgnoringCase(attributeOf(whole, "http-equiv"), "Content-Type")) {
                return charsetOfContent(attributeOf(whole, "content"));
            }
        } else if (node.kind == kXmlEndTag && html &&
                   equalsIgnoringCase(xmlNameAt(text, node.start + 2), "head")) {
            return {};
        }
        pos = node.start + std::max(node.length, 1);
    }
}

namespace {

FileStamp stampFrom(const struct stat& info) {
    FileStamp stamp;
    stamp.device = static_cast<unsigned long long>(info.st_dev);
    stamp.inode = static_cast<unsigned long long>(info.st_ino);
    stamp.size = static_cast<unsigned long long>(info.st_size);
    stamp.changeSeconds = static_cast<long long>(info.st_ctim.tv_sec);
    stamp.changeNanoseconds = static_cast<long long>(info.st_ctim.tv_nsec);
    return stamp;
}

}  // namespace

bool stampOf(const std::string& path, FileStamp& stamp) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return false;
    stamp = stampFrom(info);
    return true;
}

bool readFileBytes(const std::string& path, std::string& bytes, std::string& diagnostic,
                   FileStamp* stamp) {
    bytes.clear();
    FilePtr file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        diagnostic = systemMessage(errno);
        return false;
    }
    // One allocation of the file's size (with room for the edits that usually
    // follow a load), then one read; grow only if the file grew meanwhile.
    struct stat info {};
    if (fstat(fileno(file.get()), &info) == 0) {
        if (stamp != nullptr)
            *stamp = stampFrom(info);
        if (info.st_size > 0) {
            size_t size = static_cast<size_t>(info.st_size);
            bytes.reserve(size + size / 32 + 4096);
            bytes.resize(size);
            bytes.resize(std::fread(bytes.data(), 1, size, file.get()));
        }
    }
    char buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0)
        bytes.append(buffer, got);
    if (std::ferror(file.get())) {
        diagnostic = systemMessage(errno);
        return false;
    }
    return true;
}

bool readTextFile(const std::string& path, std::string& text, std::string& diagnostic, int& flags) {
    text.clear();
    diagnostic.clear();
    std::string bytes;
    if (!readFileBytes(path, bytes, diagnostic))
        return false;
    decodeTextBytes(std::move(bytes), text, diagnostic, flags);
    return true;
}

void decodeTextBytes(std::string bytes, std::string& text, std::string& diagnostic, int& flags) {
    text.clear();
    diagnostic.clear();
    flags &= ~(kDocUtf16LE | kDocUtf8Mark | kDocUtf16BE);
    std::string encoding;
    size_t markLength = 0;
    size_t unit = 1;
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        flags |= kDocUtf8Mark;
        encoding = "UTF-8";
        markLength = 3;
    } else if (bytes.compare(0, 2, "\xFF\xFE") == 0) {
        flags |= kDocUtf16LE;
        encoding = "UTF-16LE";
        markLength = 2;
        unit = 2;
    } else if (bytes.compare(0, 2, "\xFE\xFF") == 0) {
        flags |= kDocUtf16BE;
        encoding = "UTF-16BE";
        markLength = 2;
        unit = 2;
    }
    const bool mark = markLength > 0;
    if (!mark) {
        encoding = declaredEncoding(std::string_view(bytes).substr(0, 1024));
        if (encoding.empty() && !bytes.empty() && bytes[0] == '<')
            encoding = "UTF-8";
    }
    bytes.erase(0, markLength);

    auto prefix = [&]() {
        return (encoding.empty() ? std::string("ANSI") : encoding) + (mark ? " BOM +" : "") + " ";
    };
    if (bytes.empty()) {
        diagnostic = mark ? prefix() + "0 length " : "0 length ";
        return;
    }

    std::string notes = countNote("length ", static_cast<long long>(bytes.size() / unit), " ");
    if (unit == 2) {
        bytes.resize(bytes.size() / 2 * 2);
        std::string units;
        units.reserve(bytes.size());
        long long nulls = 0;
        for (size_t i = 0; i < bytes.size(); i += 2) {
            if (bytes[i] == 0 && bytes[i + 1] == 0) {
                ++nulls;
            } else {
                units.append(bytes, i, 2);
            }
        }
        if (nulls > 0)
            notes += countNote("(", nulls, " nulls removed) ");
        if ((flags & kDocUtf16BE) != 0) {
            swapUnits(units);
            notes += "endian swap ";
        }
        bool lossless = convertText(units, "UTF-16LE", "UTF-8", text);
        notes += countNote("to ", static_cast<long long>(text.size()), " bytes ");
        if (!lossless)
            notes += "(chars lost in conversion!) ";
        diagnostic = prefix() + notes;
        return;
    }

    const int codePage = conversionCodePage(encoding);
    if (!isUtf32(codePage)) {
        // NUL bytes would cut the text short everywhere it is used.
        long long nulls = static_cast<long long>(std::count(bytes.begin(), bytes.end(), '\0'));
        if (nulls > 0) {
            bytes.erase(std::remove(bytes.begin(), bytes.end(), '\0'), bytes.end());
            notes += countNote("(", nulls, " nulls removed) ");
        }
    }
    if (codePage != 0) {
        bool lossless = convertText(bytes, iconvNameOf(codePage).c_str(), "UTF-8", text);
        notes += countNote("to length ", static_cast<long long>(text.size()), " ");
        if (!lossless)
            notes += "(chars lost in conversion!) ";
    } else {
        text = std::move(bytes);
        if (encoding.empty()) {
            if (looksLikeUtf8(text))
                encoding = "UTF-8";
            notes += "(used UTF-8 detection) ";
        }
    }
    diagnostic = prefix() + notes;
    return;
}

bool writeTextFile(const std::string& path, const std::string& text, std::string& diagnostic,
                   int& flags, std::string* written) {
    diagnostic.clear();
    std::string encoding = declaredEncoding(text);
    if (encoding.empty() && !text.empty() && text[0] == '<')
        encoding = "UTF-8";

    const bool append = (flags & kDocAppend) != 0;
    bool atStart = true;
    if (append) {
        FilePtr existing(std::fopen(path.c_str(), "rb"));
        if (existing && std::fgetc(existing.get()) != EOF)
            atStart = false;
    }
    std::string bytes;
    bool utf16 = false;
    if ((flags & (kDocUtf16LE | kDocUtf16BE)) != 0) {
        utf16 = true;
        encoding = (flags & kDocUtf16BE) != 0 ? "UTF-16BE" : "UTF-16LE";
        if (atStart)
            bytes = (flags & kDocUtf16BE) != 0 ? "\xFE\xFF" : "\xFF\xFE";
    } else if ((flags & kDocUtf8Mark) != 0 && atStart) {
        bytes = "\xEF\xBB\xBF";
    }

    if (text.empty()) {
        diagnostic = "0 length ";
    } else if (utf16) {
        std::string units;
        bool lossless = convertText(text, "UTF-8", "UTF-16LE", units);
        diagnostic += countNote("from byte length ", static_cast<long long>(text.size()), " ");
        if (!lossless)
            diagnostic += "(chars lost in conversion!) ";
        if ((flags & kDocUtf16BE) != 0) {
            swapUnits(units);
            diagnostic += "endian swap ";
        }
        diagnostic += countNote("length ", static_cast<long long>(units.size() / 2), " ");
        bytes += units;
    } else if (int codePage = conversionCodePage(encoding); codePage != 0) {
        std::string converted;
        bool lossless = convertText(text, "UTF-8", iconvNameOf(codePage).c_str(), converted);
        diagnostic += countNote("from length ", static_cast<long long>(text.size()), " ");
        if (!lossless)
            diagnostic += "(chars lost in conversion!) ";
        diagnostic += countNote("length ", static_cast<long long>(converted.size()), " ");
        bytes += converted;
    } else {
        diagnostic += countNote("length ", static_cast<long long>(text.size()), " ");
        if (bytes.empty() && !append) {
            // The file takes the text as it is: write it without a copy.
            errno = 0;
            if (!writeFileAtomically(path, text)) {
                diagnostic = systemMessage(errno);
                return false;
            }
            if (written != nullptr)
                *written = text;
            return true;
        }
        bytes += text;
    }

    if (append) {
        // A file the append creates is the owner's alone, as the rewritten ones are.
        FilePtr file(openForAppend(path));
        if (!file || std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size() ||
            std::fflush(file.get()) != 0) {
            diagnostic = systemMessage(errno);
            return false;
        }
        return true;
    }
    errno = 0;
    if (!writeFileAtomically(path, bytes)) {
        diagnostic = systemMessage(errno);
        return false;
    }
    if (written != nullptr)
        *written = std::move(bytes);
    return true;
}

}  // namespace parvola
