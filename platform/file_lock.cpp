#include "platform/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <memory>

namespace parvola {
namespace {

// One mutex per lock path, so threads of this process queue in order before
// the cross-process flock (and stay excluded even when the file cannot be opened).
std::mutex& mutexFor(const std::string& path) {
    static std::mutex registryMutex;
    static std::map<std::string, std::unique_ptr<std::mutex>> registry;
    std::lock_guard<std::mutex> guard(registryMutex);
    auto& slot = registry[path];
    if (!slot)
        slot = std::make_unique<std::mutex>();
    return *slot;
}

}  // namespace

FileLock::FileLock(const std::string& lockPath) : threadLock_(mutexFor(lockPath)) {
    fd_ = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ < 0)
        return;
    while (flock(fd_, LOCK_EX) != 0) {
        if (errno != EINTR) {
            ::close(fd_);
            fd_ = -1;
            return;
        }
    }
}

FileLock::~FileLock() {
    if (fd_ >= 0) {
        flock(fd_, LOCK_UN);
        ::close(fd_);
    }
}

bool writeFileAtomically(const std::string& path, const std::string& bytes, unsigned mode,
                         ExistingMode existing) {
    std::string temp = path + ".tmpXXXXXX";
    int fd = mkstemp(temp.data());
    if (fd < 0)
        return false;
    struct stat old {};
    unsigned newMode = mode;
    if (::stat(path.c_str(), &old) == 0) {
        newMode = old.st_mode & 07777;
        if (existing == ExistingMode::Narrow)
            newMode &= mode;
    }
    fchmod(fd, newMode);
    const char* p = bytes.data();
    size_t left = bytes.size();
    bool ok = true;
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ok = false;
            break;
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    // The data must be on disk before the rename makes it the file: a crash
    // in between must leave the old file, not an empty new one.
    if (ok && fsync(fd) != 0)
        ok = false;
    if (::close(fd) != 0)
        ok = false;
    if (ok && std::rename(temp.c_str(), path.c_str()) != 0)
        ok = false;
    if (!ok)
        ::unlink(temp.c_str());
    return ok;
}

}  // namespace parvola
