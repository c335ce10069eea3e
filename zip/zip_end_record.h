#pragma once
// The end-of-central-directory record: finding it from the end of the file,
// reading and writing it.
#include <cstdint>
#include <string>

namespace parvola {

class ZipBigFile;

struct ZipEndRecord {
    static constexpr size_t kSize = 22;
    // The record plus the longest comment: how far from the end it can start.
    static constexpr uint64_t kSearchSpan = kSize + 0xFFFF;

    uint16_t thisDisk = 0;
    uint16_t centralDirDisk = 0;
    uint16_t entriesOnDisk = 0;
    uint16_t totalEntries = 0;
    uint32_t centralDirSize = 0;
    uint32_t centralDirOffset = 0;
    std::string comment;
    uint64_t position = 0;  // where the record starts in the file

    bool isSpanned() const {
        return thisDisk != 0 || centralDirDisk != 0 || entriesOnDisk != totalEntries;
    }
    std::string record() const;

    // Searches backwards within the last min(size, kSearchSpan) bytes for the
    // record's signature and reads the record and its comment. Throws
    // endRecordNotFound when there is none, damagedArchive when it is cut short.
    static ZipEndRecord find(ZipBigFile& file);
};

}  // namespace parvola
