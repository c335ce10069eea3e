#pragma once
// Attachment file names come from the mail, that is from whoever sent it:
// reduce one to a plain file name before anything is written under it.
#include <string>
#include <string_view>

namespace parvola {

// The GB18030 name from a MIME header as a plain UTF-8 file name: only the
// part after the last "/" or "\", control characters (NUL included) replaced
// by "_", blanks trimmed. Empty when nothing usable is left ("", ".", "..").
std::string safeAttachmentName(std::string_view wireName);

}  // namespace parvola
