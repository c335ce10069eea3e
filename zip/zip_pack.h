#pragma once
// The two zip operations the rest of the program uses. Neither throws: every
// failure is a false result.
#include <string>

namespace parvola {

// Packs `sourcePath` into a new archive at `archivePath` as its one entry,
// named after the file without its folder, deflated at the default level.
// With `archiveMustExist` the archive path must already exist. The archive is
// written to a temporary file beside it and renamed over it only when
// complete, so a failed pack leaves any earlier archive as it was.
bool packFileToZip(const std::string& sourcePath, const std::string& archivePath,
                   bool archiveMustExist = false);

// Extracts the entry named `entryName` (found without regard to letter case)
// from `archivePath` into the folder `destinationDir`, as a file named
// `entryName` (its file name part). True only when the file was written whole
// with a matching CRC-32; otherwise any file already at that name is left as
// it was.
bool unpackFileFromZip(const std::string& archivePath, const std::string& destinationDir,
                       const std::string& entryName);

}  // namespace parvola
