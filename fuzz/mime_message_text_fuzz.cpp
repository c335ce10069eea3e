// Header access on a fetched mail text: any bytes at all.
#include <cstddef>
#include <cstdint>
#include <string>

#include "mail/mime_reader_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    parvola::MimeMessageText message(std::string(reinterpret_cast<const char*>(data), size));
    const std::string header = message.GetHeaderBlock();
    const std::string body = message.GetBody();
    if (header.size() + body.size() > size)
        __builtin_trap();
    for (const char* name : {"Subject", "Content-Type", "From", "X", ""}) {
        for (int index = 0; index < 3; ++index) {
            message.GetHeaderField(name, index);
            message.GetRawHeaderField(name, index);
        }
    }
    message.GetSubject();
    message.GetContentType();
    message.GetBoundary();
    return 0;
}
