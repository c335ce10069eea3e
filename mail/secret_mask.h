#pragma once
// Keeps passwords out of the texts that reach users and diagnostics: a server
// that echoes a credential back in its error reply must not have it shown.
#include <string>

namespace parvola {

// Replaces every occurrence of `secret`, and of its base64 form (as AUTH
// LOGIN sends it), in `text` with "****". An empty secret changes nothing.
void maskSecret(std::string& text, const std::string& secret);

}  // namespace parvola
