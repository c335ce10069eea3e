#pragma once
// Base64 with the standard alphabet ("A"-"Z", "a"-"z", "0"-"9", "+", "/") and
// "=" padding. Encoding writes one line without breaks, or lines of a fixed
// length joined by CRLF; decoding is strict about the alphabet.
#include <cstddef>
#include <string>
#include <string_view>

namespace parvola {

// Length of the unbroken encoding of `length` bytes.
constexpr size_t base64EncodedLength(size_t length) {
    return (length + 2) / 3 * 4;
}

// Encodes `length` bytes into `out` (which must hold base64EncodedLength(length)
// characters); returns the number of characters written.
size_t base64EncodeTo(const void* data, size_t length, char* out);

// The whole encoding as one line.
std::string base64Encode(std::string_view data);

// Appends the encoding of `data` to `out` in lines of `lineLength` characters
// separated by CRLF (no CRLF after the last line), the same text as the
// one-line encoding cut every `lineLength` characters. `out` grows once.
void base64AppendWrapped(std::string_view data, size_t lineLength, std::string& out);

// Decodes `text`. CR, LF, blanks and tabs are skipped; any other character
// outside the alphabet, a misplaced "=" or a dangling single character makes
// the result false (and `out` holds what was decoded before it). Missing
// trailing padding is accepted.
bool base64Decode(std::string_view text, std::string& out);

}  // namespace parvola
