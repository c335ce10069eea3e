#include "zip/zip_entry_header.h"

#include "zip/zip_bytes.h"
#include "zip/zip_names.h"

namespace parvola {

using namespace zipbytes;

bool ZipEntryHeader::isDirectory() const {
    return !fileName.empty() && (fileName.back() == '\\' || fileName.back() == '/');
}

bool ZipEntryHeader::fieldLengthsFit() const {
    return storedName.size() <= 0xFFFF && extraField.size() <= 0xFFFF && comment.size() <= 0xFFFF;
}

std::string ZipEntryHeader::localRecord() const {
    std::string out(kLocalSignature);
    put16(out, versionNeeded);
    put16(out, flags);
    put16(out, method);
    put16(out, modTime);
    put16(out, modDate);
    put32(out, crc32);
    put32(out, compressedSize);
    put32(out, uncompressedSize);
    put16(out, static_cast<uint32_t>(storedName.size()));
    put16(out, static_cast<uint32_t>(extraField.size()));
    out += storedName;
    out += extraField;
    return out;
}

std::string ZipEntryHeader::centralRecord() const {
    std::string out(kCentralSignature);
    put16(out, versionMadeBy);
    put16(out, versionNeeded);
    put16(out, flags);
    put16(out, method);
    put16(out, modTime);
    put16(out, modDate);
    put32(out, crc32);
    put32(out, compressedSize);
    put32(out, uncompressedSize);
    put16(out, static_cast<uint32_t>(storedName.size()));
    put16(out, static_cast<uint32_t>(extraField.size()));
    put16(out, static_cast<uint32_t>(comment.size()));
    put16(out, diskStart);
    put16(out, internalAttributes);
    put32(out, externalAttributes);
    put32(out, localHeaderOffset);
    out += storedName;
    out += extraField;
    out += comment;
    return out;
}

std::optional<ZipEntryHeader> ZipEntryHeader::parseCentral(std::string_view directory,
                                                           size_t& pos) {
    if (directory.size() < kCentralSize || pos > directory.size() - kCentralSize)
        return {};
    std::string_view rec = directory.substr(pos);
    if (rec.substr(0, 4) != kCentralSignature)
        return {};
    ZipEntryHeader h;
    h.versionMadeBy = get16(rec, 4);
    h.versionNeeded = get16(rec, 6);
    h.flags = get16(rec, 8);
    h.method = get16(rec, 10);
    h.modTime = get16(rec, 12);
    h.modDate = get16(rec, 14);
    h.crc32 = get32(rec, 16);
    h.compressedSize = get32(rec, 20);
    h.uncompressedSize = get32(rec, 24);
    size_t nameLength = get16(rec, 28);
    size_t extraLength = get16(rec, 30);
    size_t commentLength = get16(rec, 32);
    h.diskStart = get16(rec, 34);
    h.internalAttributes = get16(rec, 36);
    h.externalAttributes = get32(rec, 38);
    h.localHeaderOffset = get32(rec, 42);
    size_t total = kCentralSize + nameLength + extraLength + commentLength;
    if (total > rec.size())
        return {};
    h.storedName = std::string(rec.substr(kCentralSize, nameLength));
    h.extraField = std::string(rec.substr(kCentralSize + nameLength, extraLength));
    h.comment = std::string(rec.substr(kCentralSize + nameLength + extraLength, commentLength));
    h.fileName = memoryNameFromArchive(h.storedName, h.flags, h.extraField, h.versionMadeBy);
    pos += total;
    return h;
}

std::optional<ZipLocalHeader> ZipLocalHeader::parse(std::string_view fixedPart) {
    if (fixedPart.size() < ZipEntryHeader::kLocalSize || fixedPart.substr(0, 4) != kLocalSignature)
        return {};
    ZipLocalHeader h;
    h.flags = get16(fixedPart, 6);
    h.method = get16(fixedPart, 8);
    h.crc32 = get32(fixedPart, 14);
    h.compressedSize = get32(fixedPart, 18);
    h.uncompressedSize = get32(fixedPart, 22);
    h.nameLength = get16(fixedPart, 26);
    h.extraLength = get16(fixedPart, 28);
    return h;
}

}  // namespace parvola
