#pragma once
// The archive file: a POSIX file descriptor with 64-bit positions. Every
// failure throws ZipException (otherFailure) naming the file and carrying
// the errno of the failed call.
#include <cstddef>
#include <cstdint>
#include <string>

namespace parvola {

class ZipBigFile {
  public:
    enum class Mode {
        createTruncate,   // create or replace, read and write
        createExclusive,  // create; fail when the path already exists
        readWrite,        // existing file, read and write
        readOnly,         // existing file
    };

    ZipBigFile() = default;
    ~ZipBigFile();
    ZipBigFile(const ZipBigFile&) = delete;
    ZipBigFile& operator=(const ZipBigFile&) = delete;

    void open(const std::string& path, Mode mode);
    // Opens without throwing; false (errno set) when the file cannot be opened.
    bool tryOpen(const std::string& path, Mode mode);
    // Creates a new, uniquely named file in the folder of `target` (so that
    // it can later be renamed over `target`); path() gives its name.
    void createBeside(const std::string& target);
    void close();  // throws when the final close reports an error
    void closeQuietly() noexcept;
    bool isOpen() const { return fd_ >= 0; }
    const std::string& path() const { return path_; }

    // Reads up to `size` bytes, fewer only at the end of the file.
    size_t read(void* buffer, size_t size);
    // Reads exactly `size` bytes or throws `shortReadCause`.
    void readExactly(void* buffer, size_t size, int shortReadCause);
    void write(const void* buffer, size_t size);
    void seek(uint64_t position);
    uint64_t position() const;
    uint64_t size() const;
    void truncate(uint64_t size);

  private:
    [[noreturn]] void fail() const;

    int fd_ = -1;
    std::string path_;
};

}  // namespace parvola
