#include "mail/mime_reader_file_name.h"

#include "platform/text_codec.h"

namespace parvola {

std::string safeAttachmentName(std::string_view wireName) {
    // Convert first: a GB18030 character may carry a "\" byte as its second
    // half, which must not be taken for a separator.
    std::string name = wireToUtf8(wireName);
    const size_t separator = name.find_last_of("/\\");
    if (separator != std::string::npos)
        name.erase(0, separator + 1);
    for (char& c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f)
            c = '_';
    }
    const size_t first = name.find_first_not_of(' ');
    if (first == std::string::npos)
        return std::string();
    name = name.substr(first, name.find_last_not_of(' ') - first + 1);
    if (name == "." || name == "..")
        return std::string();
    return name;
}

}  // namespace parvola
