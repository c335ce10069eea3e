#pragma once
// An exclusive advisory lock on a lock file, for critical sections that must
// hold across threads and processes (one INI file, one catalog file).
#include <mutex>
#include <string>

namespace parvola {

class FileLock {
  public:
    // Blocks until the lock on `lockPath` is held; creates the file (0600) if needed.
    explicit FileLock(const std::string& lockPath);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    // False when the lock file could not be opened (the section then runs unlocked
    // between processes, still locked between threads).
    bool held() const { return fd_ >= 0; }

  private:
    std::unique_lock<std::mutex> threadLock_;
    int fd_ = -1;
};

// What a rewrite does with the mode of the file it replaces.
enum class ExistingMode {
    Keep,    // the file keeps its mode
    Narrow,  // the file keeps no permission beyond `mode` (a 0644 file becomes 0600)
};

// Writes `bytes` to a temporary file beside `path` and renames it over `path`,
// so a reader never sees half a file and a failed write leaves the old one whole.
// `mode` applies to a newly created file, and to an existing one as `existing`
// says. False (and `path` untouched) on failure.
bool writeFileAtomically(const std::string& path, const std::string& bytes, unsigned mode = 0600,
                         ExistingMode existing = ExistingMode::Keep);

}  // namespace parvola
