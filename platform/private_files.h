#pragma once
// The application directory holds the user's settings (with the remembered
// passwords), catalogs, piece files and mailbox caches: they are the owner's
// alone whatever the umask says. Folders the program creates there are 0700,
// files 0600. (Files the user reads into a folder of their own choosing are
// not made here: they follow the umask, as any download does.)
#include <string>

namespace parvola {

inline constexpr unsigned kPrivateFolderMode = 0700;
inline constexpr unsigned kPrivateFileMode = 0600;

// Creates `path` and every missing folder above it, each created one 0700
// (folders that already exist keep their mode). True when `path` is a folder
// afterwards.
bool createPrivateFolders(const std::string& path);

// Creates `path` empty with mode 0600, or empties an existing file and
// narrows its mode to 0600; never follows a symbolic link at `path`. Open it
// afterwards for writing without creating. False when it cannot be done.
bool createPrivateFile(const std::string& path);

}  // namespace parvola
