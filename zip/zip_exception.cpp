#include "zip/zip_exception.h"

#include <zlib.h>

#include <cerrno>

#include <utility>

namespace parvola {

const char* zipResultName(ZipResult result) {
    switch (result) {
        case ZipResult::Ok:
            return "ok";
        case ZipResult::CannotOpen:
            return "cannot open";
        case ZipResult::NotFound:
            return "not found";
        case ZipResult::Damaged:
            return "damaged";
        case ZipResult::CrcMismatch:
            return "crc mismatch";
        case ZipResult::Unsupported:
            return "unsupported";
        case ZipResult::UnsafeName:
            return "unsafe name";
        case ZipResult::DiskFull:
            return "disk full";
        case ZipResult::FileError:
            return "file error";
        case ZipResult::Stopped:
            return "stopped";
        case ZipResult::Refused:
            return "refused";
    }
    return "unknown";
}

ZipResult fileFailure(int systemError) {
    return systemError == ENOSPC || systemError == EDQUOT ? ZipResult::DiskFull
                                                          : ZipResult::FileError;
}

ZipException::ZipException(int cause, std::string path, int systemError)
    : cause_(cause),
      path_(std::move(path)),
      systemError_(systemError),
      message_("zip error " + std::to_string(cause) + " on " + path_) {}

ZipResult ZipException::result(ZipResult otherwise) const {
    switch (cause_) {
        case otherFailure:
            return fileFailure(systemError_) == ZipResult::DiskFull ? ZipResult::DiskFull
                                                                    : otherwise;
        case zlibDataError:
        case zlibNeedDict:
        case zlibStreamEnd:
        case zlibBufError:
        case damagedArchive:
        case endRecordNotFound:
            return ZipResult::Damaged;
        case crcMismatch:
            return ZipResult::CrcMismatch;
        case passwordRequired:
        case needsDiskCallback:
        case driveNotRemovable:
        case volumeNumberTooHigh:
            return ZipResult::Unsupported;
        case fieldTooLong:
            return ZipResult::Refused;
        default:
            return otherwise;  // zlib's own failures (memory, version, system)
    }
}

int ZipException::causeFromZlib(int zlibResult) {
    switch (zlibResult) {
        case Z_STREAM_END:
            return zlibStreamEnd;
        case Z_NEED_DICT:
            return zlibNeedDict;
        case Z_ERRNO:
            return zlibErrno;
        case Z_STREAM_ERROR:
            return zlibStreamError;
        case Z_DATA_ERROR:
            return zlibDataError;
        case Z_MEM_ERROR:
            return zlibMemError;
        case Z_BUF_ERROR:
            return zlibBufError;
        case Z_VERSION_ERROR:
            return zlibVersionError;
        default:
            return otherFailure;
    }
}

void ZipException::raise(int cause, const std::string& path, int systemError) {
    throw ZipException(cause, path, systemError);
}

void ZipException::raiseZlib(int zlibResult, const std::string& path) {
    throw ZipException(causeFromZlib(zlibResult), path);
}

}  // namespace parvola
