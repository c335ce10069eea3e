#include "mail/mime_part_file.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace parvola {
namespace {

// The process's file creation mask, read without changing it (umask() would
// change it for every thread for a moment).
mode_t creationMask() {
    FILE* status = std::fopen("/proc/self/status", "r");
    mode_t mask = 022;
    if (status == nullptr)
        return mask;
    char line[256];
    unsigned value = 0;
    while (std::fgets(line, sizeof line, status) != nullptr) {
        if (std::sscanf(line, "Umask: %o", &value) == 1) {
            mask = static_cast<mode_t>(value);
            break;
        }
    }
    std::fclose(status);
    return mask;
}

}  // namespace

MimePartFile::MimePartFile(std::filesystem::path finalPath) : finalPath_(std::move(finalPath)) {
    // A name that is a folder, or a file that may not be written, cannot
    // take the part: it is skipped as when the file cannot be created.
    std::error_code ec;
    const auto status = std::filesystem::status(finalPath_, ec);
    if (std::filesystem::exists(status)) {
        if (!std::filesystem::is_regular_file(status) || ::access(finalPath_.c_str(), W_OK) != 0)
            return;
    }
    temporary_ = (finalPath_.parent_path() / ".parvola-part-XXXXXX").string();
    fd_ = ::mkostemp(temporary_.data(), O_CLOEXEC);
    if (fd_ < 0)
        temporary_.clear();
}

MimePartFile::~MimePartFile() {
    if (fd_ >= 0)
        ::close(fd_);
    if (!placed_ && !temporary_.empty())
        ::unlink(temporary_.c_str());
}

bool MimePartFile::write(std::string_view bytes) {
    while (good_ && fd_ >= 0 && !bytes.empty()) {
        const ssize_t written = ::write(fd_, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            good_ = false;
            break;
        }
        bytes.remove_prefix(static_cast<size_t>(written));
    }
    return good_;
}

bool MimePartFile::close() {
    if (fd_ < 0)
        return false;
    // In the user's folder the file gets the permissions any new file gets
    // there; mkostemp made it 0600, which it keeps in a folder only its owner
    // may reach (the application's piece and scratch folders), so what passes
    // through them is never readable by others, even for a moment.
    struct stat folder {};
    const bool privateFolder =
        ::stat(finalPath_.parent_path().c_str(), &folder) == 0 && (folder.st_mode & 077) == 0;
    if (!privateFolder && ::fchmod(fd_, 0666 & ~creationMask()) != 0)
        good_ = false;
    if (::close(fd_) != 0)
        good_ = false;
    fd_ = -1;
    return good_;
}

bool MimePartFile::putInPlace() {
    if (fd_ >= 0 || !good_ || temporary_.empty() || placed_)
        return false;
    if (std::rename(temporary_.c_str(), finalPath_.c_str()) != 0)
        return false;
    placed_ = true;
    return true;
}

}  // namespace parvola
