#pragma once
// A small tmpfs mounted on a fresh folder for one test (the tests run as
// root), unmounted again when the object dies. A disk that fills up for real.
#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "tests/support/temp_dir.h"

namespace parvola::test {

class ScopedTmpfs {
  public:
    explicit ScopedTmpfs(long long bytes) : dir_("parvola-tmpfs") {
        const std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
        if (::mount("tmpfs", dir_.str().c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) ==
            0)
            mounted_ = true;
        else
            reason_ = std::string("cannot mount a tmpfs (") + std::strerror(errno) +
                      "): the test needs root or CAP_SYS_ADMIN";
    }
    ~ScopedTmpfs() {
        if (mounted_)
            ::umount2(dir_.str().c_str(), MNT_DETACH);
    }
    ScopedTmpfs(const ScopedTmpfs&) = delete;
    ScopedTmpfs& operator=(const ScopedTmpfs&) = delete;

    bool mounted() const { return mounted_; }
    const std::string& reason() const { return reason_; }
    const std::filesystem::path& path() const { return dir_.path(); }
    std::string str() const { return dir_.str(); }

  private:
    TempDir dir_;  // outlives the mount: unmounted first, then removed
    bool mounted_ = false;
    std::string reason_;
};

}  // namespace parvola::test
