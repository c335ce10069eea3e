#pragma once
// Fills the file system that holds `folder` to the last byte with one file.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

namespace parvola::test {

// Writes `folder`/name until the disk refuses (ENOSPC); true when it did.
inline bool fillDisk(const std::string& folder, const std::string& name = "filler") {
    const int fd =
        ::open((folder + "/" + name).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    std::vector<char> block(1 << 16, 'x');
    size_t size = block.size();
    while (size > 0) {
        const ssize_t put = ::write(fd, block.data(), size);
        if (put >= 0)
            continue;
        if (errno != ENOSPC)
            break;
        size /= 2;  // the last pages: smaller writes until not one byte fits
    }
    const bool full = ::write(fd, block.data(), 1) < 0 && errno == ENOSPC;
    ::close(fd);
    return full;
}

}  // namespace parvola::test
