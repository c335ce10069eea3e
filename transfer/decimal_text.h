#pragma once
// Numbers inside subjects and task records are read the way the C library's
// atoi reads them: blanks, an optional sign, then the leading digits; text
// without digits reads as 0. Values beyond the range saturate instead of wrapping.
#include <string_view>

namespace parvola {

long long leadingInteger(std::string_view text);
// The same, for a field held as an int: saturated to the int range.
int leadingInt(std::string_view text);

}  // namespace parvola
