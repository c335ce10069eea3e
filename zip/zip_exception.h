#pragma once
// The one error type of the zip engine. It never leaves the zip library: the
// pack and unpack helpers turn it into a ZipResult that keeps its cause.
#include <exception>
#include <string>

#include "zip/zip_result.h"

namespace parvola {

class ZipException : public std::exception {
  public:
    // Cause codes; the numbers are part of the engine's contract.
    enum Cause {
        otherFailure = 1,   // any other failure (files, sizes, arguments)
        zlibStreamEnd = 2,  // zlib results 1, 2, -1 .. -6 map to 2 .. 9 in that order
        zlibNeedDict = 3,
        zlibErrno = 4,
        zlibStreamError = 5,
        zlibDataError = 6,
        zlibMemError = 7,
        zlibBufError = 8,
        zlibVersionError = 9,
        damagedArchive = 10,     // damaged archive or unsupported method
        crcMismatch = 11,        // extracted data does not match its CRC-32
        needsDiskCallback = 12,  // spanning needs a disk-change callback this engine lacks
        driveNotRemovable = 14,
        volumeNumberTooHigh = 15,
        fieldTooLong = 16,       // name, extra field or comment over 65535 bytes
        passwordRequired = 17,   // encrypted entry and no usable password
        endRecordNotFound = 18,  // no end-of-central-directory record
    };

    // `systemError` is the errno of a failed file operation, 0 when none.
    ZipException(int cause, std::string path, int systemError = 0);

    int cause() const { return cause_; }
    const std::string& path() const { return path_; }
    int systemError() const { return systemError_; }
    const char* what() const noexcept override { return message_.c_str(); }

    // The result this failure means to the caller. An otherFailure is
    // DiskFull when the disk (or quota) ran out, else `otherwise`: what a
    // failing file operation means at the caller's step (the archive not
    // opening, a write failing).
    ZipResult result(ZipResult otherwise) const;

    // The cause for a zlib result code (Z_STREAM_END .. Z_VERSION_ERROR);
    // anything else is `otherFailure`.
    static int causeFromZlib(int zlibResult);
    [[noreturn]] static void raise(int cause, const std::string& path, int systemError = 0);
    [[noreturn]] static void raiseZlib(int zlibResult, const std::string& path);

  private:
    int cause_;
    std::string path_;
    int systemError_;
    std::string message_;
};

}  // namespace parvola
