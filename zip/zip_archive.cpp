#include "zip/zip_archive.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <optional>

#include "zip/zip_bytes.h"
#include "zip/zip_dos_time.h"
#include "zip/zip_end_record.h"
#include "zip/zip_exception.h"
#include "zip/zip_names.h"

namespace parvola {

namespace {

constexpr uint64_t kMax32 = 0xFFFFFFFFu;
constexpr size_t kOutputBufferSize = 65536;

// Windows attributes of a file, as the central header keeps them.
uint32_t windowsAttributes(const struct stat& st) {
    uint32_t attributes =
        S_ISDIR(st.st_mode) ? ZipEntryHeader::kAttrDirectory : ZipEntryHeader::kAttrArchive;
    if ((st.st_mode & S_IWUSR) == 0)
        attributes |= ZipEntryHeader::kAttrReadOnly;
    return attributes;
}

// Flag bits 1-2: the deflate level hint readers may show.
uint16_t levelFlags(int level) {
    switch (level) {
        case 1:
            return 6;
        case 2:
            return 4;
        case 8:
        case 9:
            return 2;
        default:
            return 0;
    }
}

uint32_t updateCrc(uint32_t crc, const unsigned char* data, size_t size) {
    return static_cast<uint32_t>(::crc32(crc, data, static_cast<uInt>(size)));
}

class DeflateStream {
  public:
    DeflateStream(int level, const std::string& path) {
        int result = deflateInit2(&stream, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
        if (result != Z_OK)
            ZipException::raiseZlib(result, path);
    }
    ~DeflateStream() { deflateEnd(&stream); }
    DeflateStream(const DeflateStream&) = delete;
    DeflateStream& operator=(const DeflateStream&) = delete;
    z_stream stream{};
};

class InflateStream {
  public:
    explicit InflateStream(const std::string& path) {
        int result = inflateInit2(&stream, -MAX_WBITS);
        if (result != Z_OK)
            ZipException::raiseZlib(result, path);
    }
    ~InflateStream() { inflateEnd(&stream); }
    InflateStream(const InflateStream&) = delete;
    InflateStream& operator=(const InflateStream&) = delete;
    z_stream stream{};
};

// Creates the folders `parts` below `destination`, one at a time, refusing to
// walk through anything that is not a real folder (a symbolic link planted
// under the destination must not lead the extraction elsewhere: UnsafeName).
ZipResult makeFoldersBelow(const std::filesystem::path& destination,
                           const std::vector<std::string>& parts, size_t count) {
    std::error_code ec;
    std::filesystem::create_directories(destination, ec);
    if (!std::filesystem::is_directory(destination, ec))
        return fileFailure(ec.value());
    std::filesystem::path current = destination;
    for (size_t i = 0; i < count; ++i) {
        current /= parts[i];
        struct stat st {};
        if (::lstat(current.c_str(), &st) == 0) {
            if (!S_ISDIR(st.st_mode))
                return ZipResult::UnsafeName;
            continue;
        }
        if (::mkdir(current.c_str(), 0777) != 0 && errno != EEXIST)
            return fileFailure(errno);
        if (::lstat(current.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
            return ZipResult::UnsafeName;
    }
    return ZipResult::Ok;
}

// Gives an extracted file the entry's time and read-only attribute.
bool applyTimeAndAttributes(const std::string& path, const ZipEntryHeader& header) {
    struct timespec times[2];
    times[0].tv_sec = times[1].tv_sec = timeFromDosDateTime(header.modDate, header.modTime);
    times[0].tv_nsec = times[1].tv_nsec = 0;
    if (::utimensat(AT_FDCWD, path.c_str(), times, 0) != 0)
        return false;
    if ((header.externalAttributes & ZipEntryHeader::kAttrReadOnly) != 0) {
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0)
            return false;
        if (::chmod(path.c_str(), st.st_mode & ~(S_IWUSR | S_IWGRP | S_IWOTH)) != 0)
            return false;
    }
    return true;
}

// Removes a temporary file unless it was handed over.
class TemporaryFile {
  public:
    ZipBigFile file;
    ~TemporaryFile() {
        file.closeQuietly();
        if (!kept && !file.path().empty())
            ::unlink(file.path().c_str());
    }
    bool kept = false;
};

}  // namespace

ZipArchive::~ZipArchive() {
    try {
        close();
    } catch (...) {
        // A destructor cannot report; callers who care call close() themselves.
    }
}

void ZipArchive::reset() {
    file_.closeQuietly();
    state_ = State::closed;
    path_.clear();
    entries_.clear();
    sortedIndex_.clear();
    prefixBytes_ = 0;
    centralDirStart_ = 0;
    writePosition_ = 0;
    archiveComment_.clear();
    centralDirDirty_ = false;
}

void ZipArchive::open(const std::string& path, OpenMode mode, int volumeSize) {
    if (isOpen())
        ZipException::raise(ZipException::otherFailure, path);
    reset();
    path_ = path;
    try {
        switch (mode) {
            case OpenMode::createSpanned:
                ZipException::raise(
                    volumeSize > 0 ? ZipException::otherFailure : ZipException::needsDiskCallback,
                    path);
            case OpenMode::create:
                file_.open(path, ZipBigFile::Mode::createTruncate);
                state_ = State::writing;
                centralDirDirty_ = true;  // even an empty archive gets its end record
                break;
            case OpenMode::open:
                file_.open(path, ZipBigFile::Mode::readWrite);
                readCentralDirectory();
                writePosition_ = centralDirStart_;
                state_ = State::writing;
                break;
            case OpenMode::openReadOnly:
                file_.open(path, ZipBigFile::Mode::readOnly);
                readCentralDirectory();
                state_ = State::reading;
                break;
        }
    } catch (...) {
        reset();
        throw;
    }
}

void ZipArchive::readCentralDirectory() {
    ZipEndRecord end = ZipEndRecord::find(file_);
    if (end.isSpanned())
        ZipException::raise(ZipException::needsDiskCallback, path_);
    if ((end.totalEntries == 0) != (end.centralDirSize == 0))
        ZipException::raise(ZipException::damagedArchive, path_);
    uint64_t directoryEnd = uint64_t{end.centralDirOffset} + end.centralDirSize;
    if (directoryEnd > end.position)
        ZipException::raise(ZipException::damagedArchive, path_);
    prefixBytes_ = end.position - directoryEnd;
    centralDirStart_ = end.centralDirOffset + prefixBytes_;
    archiveComment_ = end.comment;

    std::string directory(end.centralDirSize, '\0');
    file_.seek(centralDirStart_);
    file_.readExactly(directory.data(), directory.size(), ZipException::damagedArchive);
    entries_.reserve(end.totalEntries);
    size_t pos = 0;
    for (int i = 0; i < end.totalEntries; ++i) {
        auto header = ZipEntryHeader::parseCentral(directory, pos);
        if (!header)
            ZipException::raise(ZipException::damagedArchive, path_);
        entries_.push_back(std::move(*header));
    }
}

void ZipArchive::writeCentralDirectory() {
    uint64_t directoryOffset = writePosition_ - prefixBytes_;
    std::string directory;
    for (const ZipEntryHeader& header : entries_)
        directory += header.centralRecord();
    if (directoryOffset > kMax32 || directory.size() > kMax32)
        ZipException::raise(ZipException::otherFailure, path_);
    ZipEndRecord end;
    end.entriesOnDisk = end.totalEntries = static_cast<uint16_t>(entries_.size());
    end.centralDirSize = static_cast<uint32_t>(directory.size());
    end.centralDirOffset = static_cast<uint32_t>(directoryOffset);
    end.comment = archiveComment_;
    directory += end.record();
    file_.seek(writePosition_);
    file_.write(directory.data(), directory.size());
    // An archive opened to add to may have had a longer directory.
    file_.truncate(writePosition_ + directory.size());
}

void ZipArchive::close() {
    if (!isOpen())
        return;
    try {
        if (state_ == State::writing && centralDirDirty_)
            writeCentralDirectory();
        file_.close();
    } catch (...) {
        reset();
        throw;
    }
    reset();
}

ZipResult ZipArchive::addFile(const std::string& sourcePath, int level, bool keepFullPath,
                              const Progress& progress, size_t bufferSize) {
    if (bufferSize == 0 || state_ != State::writing || entryCount() >= kMaxEntries)
        return ZipResult::Refused;
    if (level < -1 || level > 9)
        return ZipResult::Refused;

    struct stat st {};
    if (::stat(sourcePath.c_str(), &st) != 0)
        return ZipResult::CannotOpen;
    const bool isDirectory = S_ISDIR(st.st_mode);

    ZipEntryHeader header;
    header.fileName = entryNameForSource(sourcePath, keepFullPath, entryCount());
    if (isDirectory && header.fileName.back() != '\\')
        header.fileName += '\\';
    DosDateTime when = dosDateTimeFromTime(st.st_mtime);
    header.modDate = when.date;
    header.modTime = when.time;
    header.externalAttributes = windowsAttributes(st);
    header.storedName = archiveNameFromMemory(header.fileName);
    if (level == 0 || isDirectory) {
        header.method = ZipEntryHeader::kMethodStored;
    } else {
        header.method = ZipEntryHeader::kMethodDeflated;
        header.flags = levelFlags(level);
    }
    if (!header.fieldLengthsFit())
        ZipException::raise(ZipException::fieldTooLong, path_);

    ZipBigFile source;
    if (!isDirectory && !source.tryOpen(sourcePath, ZipBigFile::Mode::readOnly))
        return ZipResult::CannotOpen;

    const uint64_t localOffset = writePosition_;
    if (localOffset - prefixBytes_ > kMax32)
        ZipException::raise(ZipException::otherFailure, path_);
    header.localHeaderOffset = static_cast<uint32_t>(localOffset - prefixBytes_);
    bool stopped = false;
    try {
        std::string local = header.localRecord();
        file_.seek(localOffset);
        file_.write(local.data(), local.size());
        centralDirDirty_ = true;
        if (!isDirectory)
            copyIntoArchive(source, header, level, static_cast<uint64_t>(st.st_size), progress,
                            bufferSize, stopped);
        if (!stopped) {
            // The sizes are known only now: complete the local header in place.
            std::string sizes;
            zipbytes::put32(sizes, header.crc32);
            zipbytes::put32(sizes, header.compressedSize);
            zipbytes::put32(sizes, header.uncompressedSize);
            file_.seek(localOffset + 14);
            file_.write(sizes.data(), sizes.size());
        }
    } catch (...) {
        // Leave no half-written entry behind: the next entry or the central
        // directory goes where this one started.
        try {
            file_.truncate(localOffset);
        } catch (...) {
        }
        throw;
    }
    if (stopped) {
        file_.truncate(localOffset);
        return ZipResult::Stopped;
    }
    writePosition_ = localOffset + ZipEntryHeader::kLocalSize + header.storedName.size() +
                     header.extraField.size() + header.compressedSize;
    entries_.push_back(std::move(header));
    sortedIndex_.clear();
    return ZipResult::Ok;
}

void ZipArchive::copyIntoArchive(ZipBigFile& source, ZipEntryHeader& header, int level,
                                 uint64_t totalSize, const Progress& progress, size_t bufferSize,
                                 bool& stopped) {
    const bool deflated = header.method == ZipEntryHeader::kMethodDeflated;
    std::vector<unsigned char> input(bufferSize);
    std::vector<unsigned char> output(deflated ? kOutputBufferSize : 0);
    std::optional<DeflateStream> deflater;
    if (deflated)
        deflater.emplace(level, path_);

    uint64_t consumed = 0;
    uint64_t produced = 0;
    uint32_t crc = updateCrc(0, nullptr, 0);
    auto deflateAndWrite = [&](int flush) {
        z_stream& zs = deflater->stream;
        int result;
        do {
            zs.next_out = output.data();
            zs.avail_out = static_cast<uInt>(output.size());
            result = deflate(&zs, flush);
            if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR)
                ZipException::raiseZlib(result, path_);
            size_t have = output.size() - zs.avail_out;
            file_.write(output.data(), have);
            produced += have;
        } while (zs.avail_out == 0 || (flush == Z_FINISH && result != Z_STREAM_END));
    };

    for (;;) {
        size_t got = source.read(input.data(), input.size());
        crc = updateCrc(crc, input.data(), got);
        consumed += got;
        if (deflated) {
            deflater->stream.next_in = input.data();
            deflater->stream.avail_in = static_cast<uInt>(got);
            if (got > 0)
                deflateAndWrite(Z_NO_FLUSH);
        } else {
            file_.write(input.data(), got);
            produced += got;
        }
        if (consumed > kMax32 || produced > kMax32)
            ZipException::raise(ZipException::otherFailure, path_);
        if (progress && !progress(totalSize, consumed)) {
            stopped = true;
            return;
        }
        if (got < input.size())
            break;
    }
    if (deflated)
        deflateAndWrite(Z_FINISH);
    if (produced > kMax32)
        ZipException::raise(ZipException::otherFailure, path_);
    header.crc32 = crc;
    header.compressedSize = static_cast<uint32_t>(produced);
    header.uncompressedSize = static_cast<uint32_t>(consumed);
}

int ZipArchive::findEntry(std::string_view name, bool caseSensitive) {
    if (!isOpen())
        return -1;
    buildSortedIndex();
    std::string wanted(name);
    std::replace(wanted.begin(), wanted.end(), '/', '\\');
    // The index is ordered without regard to case, and by bytes among names
    // that differ only in case, so both lookups are binary searches on it.
    auto noCaseLess = [&](int index, const std::string& key) {
        return compareNamesNoCase(entries_[index].fileName, key) < 0;
    };
    auto it = std::lower_bound(sortedIndex_.begin(), sortedIndex_.end(), wanted, noCaseLess);
    if (caseSensitive) {
        auto exactLess = [&](int index, const std::string& key) {
            int order = compareNamesNoCase(entries_[index].fileName, key);
            return order < 0 || (order == 0 && entries_[index].fileName < key);
        };
        it = std::lower_bound(it, sortedIndex_.end(), wanted, exactLess);
        if (it != sortedIndex_.end() && entries_[*it].fileName == wanted)
            return *it;
        return -1;
    }
    if (it != sortedIndex_.end() && compareNamesNoCase(entries_[*it].fileName, wanted) == 0)
        return *it;
    return -1;
}

void ZipArchive::buildSortedIndex() {
    if (sortedIndex_.size() == entries_.size())
        return;
    sortedIndex_.resize(entries_.size());
    for (size_t i = 0; i < entries_.size(); ++i)
        sortedIndex_[i] = static_cast<int>(i);
    std::stable_sort(sortedIndex_.begin(), sortedIndex_.end(), [&](int a, int b) {
        int order = compareNamesNoCase(entries_[a].fileName, entries_[b].fileName);
        if (order != 0)
            return order < 0;
        return entries_[a].fileName < entries_[b].fileName;
    });
}

bool ZipArchive::readEntryHeader(ZipEntryHeader& header, int index) const {
    if (index < 0 || index >= entryCount())
        return false;
    header = entries_[static_cast<size_t>(index)];
    return true;
}

void ZipArchive::checkLocalHeader(const ZipEntryHeader& header, uint64_t& dataStart) {
    const uint64_t offset = uint64_t{header.localHeaderOffset} + prefixBytes_;
    std::string fixed(ZipEntryHeader::kLocalSize, '\0');
    file_.seek(offset);
    file_.readExactly(fixed.data(), fixed.size(), ZipException::damagedArchive);
    auto local = ZipLocalHeader::parse(fixed);
    bool consistent = local && local->flags == header.flags && local->method == header.method &&
                      local->nameLength == header.storedName.size();
    if (consistent && !header.hasDataDescriptor())
        consistent = local->crc32 == header.crc32 &&
                     local->compressedSize == header.compressedSize &&
                     local->uncompressedSize == header.uncompressedSize;
    if (!consistent || (header.method != ZipEntryHeader::kMethodStored &&
                        header.method != ZipEntryHeader::kMethodDeflated))
        ZipException::raise(ZipException::damagedArchive, path_);
    dataStart = offset + ZipEntryHeader::kLocalSize + local->nameLength + local->extraLength;
    // Entry data lies before the central directory; sizes of 0xFFFFFFFF stand
    // for 64-bit sizes, which this format version does not have.
    if (dataStart + header.compressedSize > centralDirStart_ || header.compressedSize == kMax32 ||
        header.uncompressedSize == kMax32 ||
        (header.method == ZipEntryHeader::kMethodStored && !header.isEncrypted() &&
         header.compressedSize != header.uncompressedSize))
        ZipException::raise(ZipException::damagedArchive, path_);
}

ZipResult ZipArchive::copyOutOfArchive(const ZipEntryHeader& header, uint64_t dataStart,
                                       ZipBigFile& target, const Progress& progress,
                                       size_t bufferSize) {
    const bool deflated = header.method == ZipEntryHeader::kMethodDeflated;
    std::vector<unsigned char> input(bufferSize);
    std::vector<unsigned char> output(deflated ? kOutputBufferSize : 0);
    std::optional<InflateStream> inflater;
    if (deflated)
        inflater.emplace(path_);

    uint64_t remaining = header.compressedSize;
    uint64_t written = 0;
    uint32_t crc = updateCrc(0, nullptr, 0);
    bool streamEnded = !deflated;
    auto emit = [&](const unsigned char* data, size_t size) {
        written += size;
        // Never write more than the header promises (a forged stream could
        // otherwise expand without bound).
        if (written > header.uncompressedSize)
            ZipException::raise(ZipException::damagedArchive, path_);
        crc = updateCrc(crc, data, size);
        target.write(data, size);
    };

    file_.seek(dataStart);
    while (remaining > 0) {
        size_t chunk = static_cast<size_t>(std::min<uint64_t>(remaining, input.size()));
        file_.readExactly(input.data(), chunk, ZipException::damagedArchive);
        remaining -= chunk;
        if (!deflated) {
            emit(input.data(), chunk);
        } else {
            if (streamEnded)
                return ZipResult::Damaged;  // compressed data left unread
            z_stream& zs = inflater->stream;
            zs.next_in = input.data();
            zs.avail_in = static_cast<uInt>(chunk);
            do {
                zs.next_out = output.data();
                zs.avail_out = static_cast<uInt>(output.size());
                int result = inflate(&zs, Z_NO_FLUSH);
                if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR)
                    ZipException::raiseZlib(result, path_);
                emit(output.data(), output.size() - zs.avail_out);
                if (result == Z_STREAM_END) {
                    streamEnded = true;
                    break;
                }
                if (result == Z_BUF_ERROR)
                    break;  // no progress: needs more input
            } while (zs.avail_out == 0 || zs.avail_in > 0);
            if (streamEnded && zs.avail_in > 0)
                return ZipResult::Damaged;  // data after the stream's end
        }
        if (progress && !progress(header.uncompressedSize, written))
            return ZipResult::Stopped;
    }
    if (deflated && !streamEnded) {
        // The compressed data ran out before the stream ended; let zlib drain
        // what it holds, then judge.
        z_stream& zs = inflater->stream;
        zs.next_in = nullptr;
        zs.avail_in = 0;
        for (;;) {
            zs.next_out = output.data();
            zs.avail_out = static_cast<uInt>(output.size());
            int result = inflate(&zs, Z_FINISH);
            emit(output.data(), output.size() - zs.avail_out);
            if (result == Z_STREAM_END)
                break;
            if (result == Z_BUF_ERROR && zs.avail_out != 0)
                ZipException::raise(ZipException::damagedArchive, path_);
            if (result != Z_OK && result != Z_BUF_ERROR)
                ZipException::raiseZlib(result, path_);
        }
    }
    if (crc != header.crc32)
        ZipException::raise(ZipException::crcMismatch, path_);
    if (written != header.uncompressedSize)
        ZipException::raise(ZipException::damagedArchive, path_);
    return ZipResult::Ok;
}

ZipResult ZipArchive::extractEntry(int index, const std::string& destination, bool keepFullPath,
                                   const std::string& newName, const Progress& progress,
                                   size_t bufferSize) {
    if (state_ != State::reading || bufferSize == 0)
        return ZipResult::Refused;
    if (index < 0 || index >= entryCount())
        return ZipResult::NotFound;
    const ZipEntryHeader& header = entries_[static_cast<size_t>(index)];
    const bool isDirectory = header.isDirectory();
    auto parts =
        safeRelativeParts(newName.empty() ? header.fileName : newName, keepFullPath, isDirectory);
    if (!parts)
        return ZipResult::UnsafeName;
    const std::filesystem::path root(destination.empty() ? std::string(".") : destination);

    if (isDirectory)
        return makeFoldersBelow(root, *parts, parts->size());

    uint64_t dataStart = 0;
    checkLocalHeader(header, dataStart);
    if (header.isEncrypted())
        ZipException::raise(ZipException::passwordRequired, path_);

    if (const ZipResult folders = makeFoldersBelow(root, *parts, parts->size() - 1);
        folders != ZipResult::Ok)
        return folders;
    std::filesystem::path target = root;
    for (const std::string& part : *parts)
        target /= part;

    TemporaryFile temporary;
    temporary.file.createBeside(target.string());
    if (const ZipResult copied =
            copyOutOfArchive(header, dataStart, temporary.file, progress, bufferSize);
        copied != ZipResult::Ok)
        return copied;
    temporary.file.close();
    if (!applyTimeAndAttributes(temporary.file.path(), header))
        return fileFailure(errno);
    if (::rename(temporary.file.path().c_str(), target.c_str()) != 0)
        return fileFailure(errno);
    temporary.kept = true;
    return ZipResult::Ok;
}

}  // namespace parvola
