#include "transfer/piece_subject.h"

#include "transfer/decimal_text.h"

namespace parvola {
namespace {

// Takes the text up to the first ";" (all of it when there is none) and drops
// it together with that ";" from `rest`.
std::string takeField(std::string& rest) {
    const size_t semicolon = rest.find(';');
    if (semicolon == std::string::npos) {
        std::string field = std::move(rest);
        rest.clear();
        return field;
    }
    std::string field = rest.substr(0, semicolon);
    rest.erase(0, semicolon + 1);
    return field;
}

}  // namespace

std::string formatSubject(const PieceSubject& s) {
    std::string text;
    text.reserve(s.tag.size() + s.fileName.size() + 64);
    text += s.tag;
    text += ';';
    text += s.fileName;
    text += ';';
    text += std::to_string(s.fileId);
    text += ';';
    text += std::to_string(s.time);
    text += ';';
    text += std::to_string(s.pieceLength);
    text += ';';
    text += s.reserved;
    text += ';';
    text += std::to_string(s.pieceCount);
    text += ';';
    text += std::to_string(s.pieceIndex);
    return text;
}

PieceSubject parseSubject(const std::string& text) {
    PieceSubject s;
    std::string rest = text;
    s.tag = takeField(rest);
    s.fileName = takeField(rest);
    s.fileId = leadingInt(takeField(rest));
    s.time = leadingInteger(takeField(rest));
    s.pieceLength = leadingInteger(takeField(rest));
    s.reserved = takeField(rest);
    s.pieceCount = leadingInt(takeField(rest));
    s.pieceIndex = leadingInt(rest);
    return s;
}

bool looksLikePieceSubject(const std::string& text) {
    return text.find(kPieceMarker) != std::string::npos &&
           text.find(kCatalogMarker) == std::string::npos;
}

}  // namespace parvola
