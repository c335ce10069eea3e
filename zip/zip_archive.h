#pragma once
// A zip archive (application note 2.0 format, stored or deflated entries):
// create one and add files to it, or open one and extract its entries.
// Engine failures (damaged records and data, failing file operations) throw
// ZipException; what a call refuses on its own is its ZipResult. Callers
// outside the zip library use the pack and unpack helpers of zip_pack.h,
// which throw nothing.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "zip/zip_big_file.h"
#include "zip/zip_entry_header.h"
#include "zip/zip_result.h"

namespace parvola {

class ZipArchive {
  public:
    enum class OpenMode {
        create,         // a new archive; an existing file is replaced
        open,           // an existing archive, to add entries to
        openReadOnly,   // an existing archive, to extract from
        createSpanned,  // multi-volume archives: not built, always refused
    };
    // Total bytes, bytes done so far; answering false stops the copy.
    using Progress = std::function<bool(uint64_t total, uint64_t done)>;

    static constexpr int kMaxEntries = 0xFFFF;
    static constexpr size_t kCopyBufferSize = 65535;
    static constexpr int kDefaultLevel = -1;

    ZipArchive() = default;
    ~ZipArchive();  // closes the archive; errors are swallowed
    ZipArchive(const ZipArchive&) = delete;
    ZipArchive& operator=(const ZipArchive&) = delete;

    // Opening an archive that spans volumes, or asking to create one, throws
    // needsDiskCallback (no disk-change callback exists here); a positive volume
    // size for createSpanned throws otherFailure.
    void open(const std::string& path, OpenMode mode, int volumeSize = 0);
    // Writes the central directory and the end record when entries were
    // added, then closes the file. The archive is closed even when it throws.
    void close();
    bool isOpen() const { return state_ != State::closed; }
    int entryCount() const { return static_cast<int>(entries_.size()); }

    // Adds a file (or a directory, stored) at the given zlib level: 0 stores,
    // -1 and 1..9 deflate. Refused for a zero buffer size, a level out of
    // range, an archive not open for writing or one already holding
    // kMaxEntries entries; CannotOpen for a source whose time and attributes
    // cannot be read or that cannot be opened; Stopped for a copy stopped by
    // `progress`. Unless Ok, the archive holds no trace of the entry.
    ZipResult addFile(const std::string& sourcePath, int level = kDefaultLevel,
                      bool keepFullPath = false, const Progress& progress = {},
                      size_t bufferSize = kCopyBufferSize);

    // Index of the entry named `name` (in-memory form; '/' is taken as '\'),
    // or -1. The first lookup builds a sorted index of the names.
    int findEntry(std::string_view name, bool caseSensitive = false);
    // False when `index` names no entry.
    bool readEntryHeader(ZipEntryHeader& header, int index) const;

    // Extracts entry `index` into the folder `destination`, under `newName`
    // when given, else under its own name; reduced to the file name unless
    // `keepFullPath`. The file appears only when its data was whole and its
    // CRC-32 matched: it is written to a temporary file beside the target and
    // renamed over it. No entry name can place anything outside
    // `destination`. Ok only on full success; otherwise Refused (not open for
    // reading, a zero buffer size), NotFound (no such index), UnsafeName,
    // Stopped, Damaged (compressed data left over), FileError or DiskFull.
    ZipResult extractEntry(int index, const std::string& destination, bool keepFullPath = false,
                           const std::string& newName = {}, const Progress& progress = {},
                           size_t bufferSize = kCopyBufferSize);

  private:
    enum class State { closed, reading, writing };

    void readCentralDirectory();
    void writeCentralDirectory();
    void copyIntoArchive(ZipBigFile& source, ZipEntryHeader& header, int level, uint64_t totalSize,
                         const Progress& progress, size_t bufferSize, bool& stopped);
    void checkLocalHeader(const ZipEntryHeader& header, uint64_t& dataStart);
    ZipResult copyOutOfArchive(const ZipEntryHeader& header, uint64_t dataStart, ZipBigFile& target,
                               const Progress& progress, size_t bufferSize);
    void buildSortedIndex();
    void reset();

    State state_ = State::closed;
    ZipBigFile file_;
    std::string path_;
    std::vector<ZipEntryHeader> entries_;
    std::vector<int> sortedIndex_;  // entry indexes by name; empty until first lookup
    uint64_t prefixBytes_ = 0;      // a prefix such as a program stub
    uint64_t centralDirStart_ = 0;  // file position of the central directory
    uint64_t writePosition_ = 0;    // where the next entry's local header goes
    std::string archiveComment_;
    bool centralDirDirty_ = false;
};

}  // namespace parvola
