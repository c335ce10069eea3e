#pragma once
// The one error type of the zip engine. It never leaves the zip library: the
// pack and unpack helpers turn it into a false result.
#include <exception>
#include <string>

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

    ZipException(int cause, std::string path);

    int cause() const { return cause_; }
    const std::string& path() const { return path_; }
    const char* what() const noexcept override { return message_.c_str(); }

    // The cause for a zlib result code (Z_STREAM_END .. Z_VERSION_ERROR);
    // anything else is `otherFailure`.
    static int causeFromZlib(int zlibResult);
    [[noreturn]] static void raise(int cause, const std::string& path);
    [[noreturn]] static void raiseZlib(int zlibResult, const std::string& path);

  private:
    int cause_;
    std::string path_;
    std::string message_;
};

}  // namespace parvola
