#pragma once
// The one list of results of the zip library's operations. The engine raises
// ZipException inside the library; the operations the rest of the program
// calls answer one of these instead, keeping the cause.
namespace parvola {

enum class ZipResult {
    Ok,
    CannotOpen,   // the archive (or, packing, the source file) is missing or cannot be opened
    NotFound,     // the archive holds no entry of that name or index
    Damaged,      // not a zip archive, or its records or compressed data are damaged
    CrcMismatch,  // the entry's data came out whole but does not match its CRC-32
    Unsupported,  // an encrypted entry or an archive spanning volumes
    UnsafeName,   // the entry's path would lead outside the destination folder
                  // (a ".." or empty name, or something other than a folder on the way)
    DiskFull,     // the disk, or the user's quota on it, filled up while writing
    FileError,    // any other failure to create, read, write or rename a file
    Stopped,      // the progress callback asked to stop
    Refused,      // a call the archive does not take in its state: not open for
                  // that, no room for another entry, a buffer size of 0, a bad level
};

// A short English name of the result, for diagnostics ("crc mismatch").
const char* zipResultName(ZipResult result);

// What a file call that failed with the errno `systemError` means: DiskFull
// when the disk or the quota ran out, else FileError.
ZipResult fileFailure(int systemError);

}  // namespace parvola
