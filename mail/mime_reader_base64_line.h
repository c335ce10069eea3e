#pragma once
// Decoding of one body line of a base64 attachment part.
#include <string>
#include <string_view>

namespace parvola {

// Appends the bytes of `line` to `out`. Bytes outside the alphabet and "="
// (line breaks, blanks) are skipped; "=" pads. Each line stands alone: a
// group left unfinished at its end is dropped.
void decodeBase64Line(std::string_view line, std::string& out);

}  // namespace parvola
