#pragma once
// Text conversions. Inside the process every std::string is UTF-8; mail
// headers, attachment names and the web service's forms travel in GB18030
// (the superset of code page 936 that Windows clients of the same store write).
#include <string>
#include <string_view>

namespace parvola {

// Converts `in` from the iconv code set `from` to `to`. Bytes that do not
// decode (or cannot be represented) are replaced, never dropped: U+FFFD when
// the target is UTF-8, '?' otherwise. Returns false when anything had to be
// replaced or the code sets are unknown; `out` then holds the best effort.
bool convertText(std::string_view in, const char* from, const char* to, std::string& out);

// UTF-8 -> GB18030 for the wire.
std::string utf8ToWire(std::string_view utf8, bool* lossless = nullptr);
// GB18030 from the wire -> UTF-8.
std::string wireToUtf8(std::string_view wire, bool* lossless = nullptr);

// True when `text` is well-formed UTF-8 (no overlong forms, no surrogates).
bool isValidUtf8(std::string_view text);

}  // namespace parvola
