#include "zip/zip_big_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <random>

#include "zip/zip_exception.h"

namespace parvola {

ZipBigFile::~ZipBigFile() {
    closeQuietly();
}

bool ZipBigFile::tryOpen(const std::string& path, Mode mode) {
    closeQuietly();
    int flags = O_CLOEXEC;
    switch (mode) {
        case Mode::createTruncate:
            flags |= O_RDWR | O_CREAT | O_TRUNC;
            break;
        case Mode::createExclusive:
            flags |= O_RDWR | O_CREAT | O_EXCL;
            break;
        case Mode::readWrite:
            flags |= O_RDWR;
            break;
        case Mode::readOnly:
            flags |= O_RDONLY;
            break;
    }
    // The archives made here are the user's catalogs and what unpacks from
    // them: readable by the owner alone, whatever the umask.
    int fd;
    do {
        fd = ::open(path.c_str(), flags, 0600);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return false;
    fd_ = fd;
    path_ = path;
    return true;
}

void ZipBigFile::open(const std::string& path, Mode mode) {
    if (!tryOpen(path, mode))
        ZipException::raise(ZipException::otherFailure, path, errno);
}

void ZipBigFile::createBeside(const std::string& target) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string candidate = target + ".part-" + std::to_string(::getpid()) + "-" +
                                std::to_string(counter.fetch_add(1)) + "-" +
                                std::to_string(std::random_device{}() & 0xFFFFF);
        if (tryOpen(candidate, Mode::createExclusive))
            return;
        if (errno != EEXIST)
            break;
    }
    ZipException::raise(ZipException::otherFailure, target, errno);
}

void ZipBigFile::close() {
    if (fd_ < 0)
        return;
    int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0 && errno != EINTR)
        ZipException::raise(ZipException::otherFailure, path_, errno);
}

void ZipBigFile::closeQuietly() noexcept {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

void ZipBigFile::fail() const {
    ZipException::raise(ZipException::otherFailure, path_, errno);
}

size_t ZipBigFile::read(void* buffer, size_t size) {
    auto* out = static_cast<char*>(buffer);
    size_t done = 0;
    while (done < size) {
        ssize_t n = ::read(fd_, out + done, size - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fail();
        }
        if (n == 0)
            break;
        done += static_cast<size_t>(n);
    }
    return done;
}

void ZipBigFile::readExactly(void* buffer, size_t size, int shortReadCause) {
    if (read(buffer, size) != size)
        ZipException::raise(shortReadCause, path_);
}

void ZipBigFile::write(const void* buffer, size_t size) {
    const auto* in = static_cast<const char*>(buffer);
    while (size > 0) {
        ssize_t n = ::write(fd_, in, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fail();
        }
        in += n;
        size -= static_cast<size_t>(n);
    }
}

void ZipBigFile::seek(uint64_t position) {
    if (position > static_cast<uint64_t>(INT64_MAX) ||
        ::lseek(fd_, static_cast<off_t>(position), SEEK_SET) < 0)
        fail();
}

uint64_t ZipBigFile::position() const {
    off_t pos = ::lseek(fd_, 0, SEEK_CUR);
    if (pos < 0)
        fail();
    return static_cast<uint64_t>(pos);
}

uint64_t ZipBigFile::size() const {
    struct stat st {};
    if (::fstat(fd_, &st) != 0)
        fail();
    return static_cast<uint64_t>(st.st_size);
}

void ZipBigFile::truncate(uint64_t size) {
    if (::ftruncate(fd_, static_cast<off_t>(size)) != 0)
        fail();
}

}  // namespace parvola
