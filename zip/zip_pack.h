#pragma once
// The two zip operations the rest of the program uses. Neither throws: every
// failure is a ZipResult that says what went wrong.
#include <string>

#include "zip/zip_result.h"

namespace parvola {

// Packs `sourcePath` into a new archive at `archivePath` as its one entry,
// named after the file without its folder, deflated at the default level.
// With `archiveMustExist` the archive path must already exist (CannotOpen).
// The archive is written to a temporary file beside it and renamed over it
// only when complete, so a failed pack leaves any earlier archive as it was.
// CannotOpen also for a source that cannot be read; DiskFull or FileError
// when the archive cannot be written.
ZipResult packFileToZip(const std::string& sourcePath, const std::string& archivePath,
                        bool archiveMustExist = false);

// Extracts the entry named `entryName` (found without regard to letter case)
// from `archivePath` into the folder `destinationDir`, as a file named
// `entryName` (its file name part). Ok only when the file was written whole
// with a matching CRC-32; otherwise any file already at that name is left as
// it was, and the result tells why: CannotOpen (no archive, or one that
// cannot be read), Damaged, NotFound, CrcMismatch, Unsupported, UnsafeName,
// DiskFull or FileError.
ZipResult unpackFileFromZip(const std::string& archivePath, const std::string& destinationDir,
                            const std::string& entryName);

}  // namespace parvola
