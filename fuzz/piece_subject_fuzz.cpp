// Piece subjects read back from any text; a subject formatted from what was
// read must read back the same (when its name keeps clear of ";").
#include <cstddef>
#include <cstdint>
#include <string>

#include "transfer/piece_subject.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    parvola::looksLikePieceSubject(text);
    const parvola::PieceSubject subject = parvola::parseSubject(text);
    const std::string again = parvola::formatSubject(subject);
    const bool plain = subject.tag.find(';') == std::string::npos &&
                       subject.fileName.find(';') == std::string::npos &&
                       subject.reserved.find(';') == std::string::npos;
    if (plain && !(parvola::parseSubject(again) == subject))
        __builtin_trap();
    return 0;
}
