#include "platform/private_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>
#include <vector>

namespace parvola {

bool createPrivateFolders(const std::string& path) {
    if (path.empty())
        return false;
    namespace fs = std::filesystem;
    std::error_code error;
    // The missing folders, deepest first.
    std::vector<fs::path> missing;
    for (fs::path at = fs::path(path).lexically_normal(); !at.empty(); at = at.parent_path()) {
        if (fs::exists(at, error) || at == at.parent_path())
            break;
        missing.push_back(at);
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        if (::mkdir(it->c_str(), kPrivateFolderMode) != 0) {
            if (errno != EEXIST)
                return false;
            continue;  // made meanwhile by another thread or process: not ours to change
        }
        // mkdir's mode passed through the umask; the folder is ours, set it exactly.
        ::chmod(it->c_str(), kPrivateFolderMode);
    }
    return fs::is_directory(path, error);
}

bool createPrivateFile(const std::string& path) {
    int fd;
    do {
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW,
                    kPrivateFileMode);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return false;
    const bool narrowed = ::fchmod(fd, kPrivateFileMode) == 0;
    ::close(fd);
    return narrowed;
}

}  // namespace parvola
