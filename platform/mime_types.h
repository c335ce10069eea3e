#pragma once
#include <string>

namespace parvola {

// The content type for a file name, looked up by the name from its first "."
// on in /etc/mime.types (case-insensitive); "application/octet-stream" when
// there is no "." or no entry. `table` is for tests.
std::string contentTypeForName(const std::string& fileName,
                               const std::string& table = "/etc/mime.types");

}  // namespace parvola
