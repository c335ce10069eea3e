#pragma once
// The transfer encodings of outgoing mail parts: choosing one from the part's
// bytes, line wrapping at 76 bytes, quoted-printable, 7-bit forcing, base64,
// and the SMTP dot-stuffing of the result. Lengths count bytes.
#include <cstddef>
#include <string>
#include <string_view>

namespace parvola {

enum MimeTransferEncoding : int {
    kEncodingAutomatic = 0,
    kEncoding7Bit = 1,
    kEncoding8Bit = 2,
    kEncodingQuotedPrintable = 3,
    kEncodingBase64 = 4,
};

// Longest line the encoders write.
constexpr size_t kMimeLineLimit = 76;

// The transfer encoding name ("7bit", "8bit", "quoted-printable", "base64");
// empty for anything else.
const char* encodingName(int encoding);

// Picks 1..4 from the data: base64 when under 90 % of the bytes are printable
// (0x20-0x7E, tab, CR, LF); quoted-printable when a CR-terminated line is
// longer than 76 bytes; 8bit when any other byte occurs; else 7bit. Empty data
// (which has nothing to measure) is 7bit.
int ChooseEncoding(const char* data, size_t length);

// Cuts lines longer than `limit` bytes, preferably right after one of the
// break characters " -;.,?!" at or before the limit. Lines end at CR; the CR
// and one LF after it are written back as CRLF.
void WrapText(std::string& out, std::string_view in, size_t limit);

// Quoted-printable with 76-byte lines, soft breaks that never split an
// escape, "=" escaped, and a blank or tab at the end of a line escaped.
void EncodeQuotedPrintable(std::string& out, std::string_view in);

// Every byte 0x7F or above becomes "?".
void ForceSevenBit(std::string& out, std::string_view in);

// Doubles the dot of every line that starts with one, so that no line of the
// part can end the SMTP data early or lose its first dot in transit. The
// first line of `in` counts: a part's text always starts a line on the wire.
void DotStuff(std::string& out, std::string_view in);

// Encodes `data` (or `text` itself when `data` is null) with `encoding`
// (0 = ChooseEncoding), leaving the dot-stuffed result in `text` and the
// encoding's name in `name`. 7bit, 8bit and quoted-printable take the data as
// text up to its first NUL byte; base64 takes all `length` bytes.
void EncodeText(int encoding, std::string& text, std::string& name, const char* data = nullptr,
                size_t length = 0);

}  // namespace parvola
