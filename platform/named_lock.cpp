#include "platform/named_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <string>

namespace parvola {
namespace {

std::string lockFolder() {
    if (const char* run = std::getenv("XDG_RUNTIME_DIR"); run && *run)
        return run;
    std::string folder = "/tmp/parvola-" + std::to_string(getuid());
    mkdir(folder.c_str(), 0700);
    return folder;
}

// The four roles are handles on one lock: a recursive mutex for the threads of
// this process, and while any thread of it holds the lock, an flock on the
// shared "mutex" file for the other processes.
struct SharedLock {
    std::recursive_mutex mutex;
    int depth = 0;  // guarded by `mutex`
    int fd = -1;
    pid_t openedBy = 0;
    std::string openedPath;

    // Opens the lock file when there is none yet, or when it was opened for
    // another folder or inherited across fork: a forked child that kept the
    // parent's open file would share its flock instead of being excluded by it.
    bool open() {
        std::string path = lockFolder() + "/mutex";
        if (fd >= 0 && (openedBy != getpid() || openedPath != path)) {
            ::close(fd);
            fd = -1;
        }
        if (fd < 0) {
            fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
            openedBy = getpid();
            openedPath = path;
        }
        return fd >= 0;
    }
    void acquireFile() {
        if (!open())
            return;
        while (flock(fd, LOCK_EX) != 0 && errno == EINTR) {
        }
    }
    bool tryAcquireFile() {
        if (!open())
            return true;
        return flock(fd, LOCK_EX | LOCK_NB) == 0;
    }
    void releaseFile() {
        if (fd >= 0)
            flock(fd, LOCK_UN);
    }
};

SharedLock& sharedLock() {
    static SharedLock lock;
    return lock;
}

}  // namespace

void lockRole(LockRole) {
    SharedLock& l = sharedLock();
    l.mutex.lock();
    if (l.depth++ == 0)
        l.acquireFile();
}

bool tryLockRole(LockRole) {
    SharedLock& l = sharedLock();
    if (!l.mutex.try_lock())
        return false;
    if (l.depth == 0 && !l.tryAcquireFile()) {
        l.mutex.unlock();
        return false;
    }
    ++l.depth;
    return true;
}

void unlockRole(LockRole) {
    SharedLock& l = sharedLock();
    if (--l.depth == 0)
        l.releaseFile();
    l.mutex.unlock();
}

}  // namespace parvola
