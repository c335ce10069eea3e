#include "zip/zip_end_record.h"

#include <algorithm>

#include "zip/zip_big_file.h"
#include "zip/zip_bytes.h"
#include "zip/zip_exception.h"

namespace parvola {

using namespace zipbytes;

std::string ZipEndRecord::record() const {
    std::string out(kEndSignature);
    put16(out, thisDisk);
    put16(out, centralDirDisk);
    put16(out, entriesOnDisk);
    put16(out, totalEntries);
    put32(out, centralDirSize);
    put32(out, centralDirOffset);
    put16(out, static_cast<uint32_t>(comment.size()));
    out += comment;
    return out;
}

ZipEndRecord ZipEndRecord::find(ZipBigFile& file) {
    uint64_t fileSize = file.size();
    uint64_t span = std::min(fileSize, kSearchSpan);
    std::string tail(static_cast<size_t>(span), '\0');
    file.seek(fileSize - span);
    file.readExactly(tail.data(), tail.size(), ZipException::damagedArchive);

    size_t found = std::string::npos;
    if (tail.size() >= kEndSignature.size()) {
        for (size_t at = tail.size() - kEndSignature.size() + 1; at-- > 0;) {
            if (std::string_view(tail).substr(at, 4) == kEndSignature) {
                found = at;
                break;
            }
        }
    }
    if (found == std::string::npos)
        ZipException::raise(ZipException::endRecordNotFound, file.path());

    std::string_view rest = std::string_view(tail).substr(found);
    if (rest.size() < kSize)
        ZipException::raise(ZipException::damagedArchive, file.path());
    ZipEndRecord end;
    end.position = fileSize - span + found;
    end.thisDisk = get16(rest, 4);
    end.centralDirDisk = get16(rest, 6);
    end.entriesOnDisk = get16(rest, 8);
    end.totalEntries = get16(rest, 10);
    end.centralDirSize = get32(rest, 12);
    end.centralDirOffset = get32(rest, 16);
    size_t commentLength = get16(rest, 20);
    if (rest.size() < kSize + commentLength)
        ZipException::raise(ZipException::damagedArchive, file.path());
    end.comment = std::string(rest.substr(kSize, commentLength));
    return end;
}

}  // namespace parvola
