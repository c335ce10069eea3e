#pragma once
// The subject line of a piece mail, by which a download finds each piece of a
// stored file again and which the catalog keeps as the file's stored subject:
//
//   PARVOL:;<name>;<file id>;<time>;<piece length>;0000000000;<count>;<index>
//
// Names are not escaped (the format is shared with stores written elsewhere):
// a name holding ";" does not parse back, so callers keep such names out.
#include <string>

namespace parvola {

inline constexpr const char* kPieceTag = "PARVOL:";
inline constexpr const char* kPieceReserved = "0000000000";
// The text every piece subject contains and catalog subjects start with.
inline constexpr const char* kPieceMarker = "PARVOL";
inline constexpr const char* kCatalogMarker = "PARVOLCONFIG";

struct PieceSubject {
    std::string tag = kPieceTag;
    std::string fileName;  // without its folder
    int fileId = 0;        // 0 to 32767, the same in every piece of a file
    long long time = 0;    // seconds since 1970 UTC when this piece's subject was built
    long long pieceLength = 0;
    std::string reserved = kPieceReserved;
    int pieceCount = 1;
    int pieceIndex = 1;  // 1-based

    bool operator==(const PieceSubject&) const = default;
};

// The eight fields joined by ";", integers in plain decimal.
std::string formatSubject(const PieceSubject& subject);

// Splits at ";" field by field; integers are read from their leading digits
// (none gives 0) and the whole remainder is the piece index. Never fails:
// missing fields read as empty texts or 0.
PieceSubject parseSubject(const std::string& text);

// True when a subject names a piece mail (holds "PARVOL" but is no catalog mail).
bool looksLikePieceSubject(const std::string& text);

}  // namespace parvola
