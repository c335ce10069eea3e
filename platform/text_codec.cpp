#include "platform/text_codec.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>

namespace parvola {
namespace {

// An iconv descriptor that closes itself.
class IconvHandle {
  public:
    IconvHandle(const char* from, const char* to) : cd_(iconv_open(to, from)) {}
    ~IconvHandle() {
        if (valid())
            iconv_close(cd_);
    }
    IconvHandle(const IconvHandle&) = delete;
    IconvHandle& operator=(const IconvHandle&) = delete;
    bool valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return cd_; }

  private:
    iconv_t cd_;
};

bool isUtf8Name(const char* name) {
    return strcasecmp(name, "UTF-8") == 0 || strcasecmp(name, "UTF8") == 0;
}

}  // namespace

bool convertText(std::string_view in, const char* from, const char* to, std::string& out) {
    out.clear();
    IconvHandle cd(from, to);
    if (!cd.valid()) {
        out.assign(in);
        return false;
    }
    const std::string_view replacement = isUtf8Name(to) ? "\xEF\xBF\xBD" : "?";
    bool lossless = true;
    out.reserve(in.size() * 2 + 16);

    // glibc's iconv takes a non-const input pointer; it never writes through it.
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    char buffer[4096];
    bool flushing = false;
    while (true) {
        char* dst = buffer;
        size_t dstLeft = sizeof buffer;
        size_t rc = flushing ? iconv(cd.get(), nullptr, nullptr, &dst, &dstLeft)
                             : iconv(cd.get(), &src, &srcLeft, &dst, &dstLeft);
        int err = errno;
        out.append(buffer, static_cast<size_t>(dst - buffer));
        if (rc != static_cast<size_t>(-1)) {
            if (flushing)
                break;
            if (srcLeft == 0) {
                flushing = true;  // emit any shift sequence that ends the text
                continue;
            }
            continue;
        }
        if (err == E2BIG)
            continue;
        // EILSEQ: an undecodable or unrepresentable sequence; EINVAL: a
        // truncated one at the end. Either way, show that something was there.
        lossless = false;
        out.append(replacement);
        if (srcLeft == 0)
            break;
        ++src;
        --srcLeft;
        if (err == EINVAL && srcLeft == 0)
            break;
    }
    return lossless;
}

std::string utf8ToWire(std::string_view utf8, bool* lossless) {
    std::string out;
    bool ok = convertText(utf8, "UTF-8", "GB18030", out);
    if (lossless)
        *lossless = ok;
    return out;
}

std::string wireToUtf8(std::string_view wire, bool* lossless) {
    std::string out;
    bool ok = convertText(wire, "GB18030", "UTF-8", out);
    if (lossless)
        *lossless = ok;
    return out;
}

bool isValidUtf8(std::string_view text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    size_t n = text.size();
    size_t i = 0;
    while (i < n) {
        unsigned char c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t len;
        unsigned cp;
        if ((c & 0xE0) == 0xC0) {
            len = 2;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            len = 3;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            len = 4;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + len > n)
            return false;
        for (size_t k = 1; k < len; ++k) {
            if ((p[i + k] & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (p[i + k] & 0x3F);
        }
        static const unsigned kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += len;
    }
    return true;
}

}  // namespace parvola
