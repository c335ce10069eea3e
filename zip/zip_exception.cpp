#include "zip/zip_exception.h"

#include <zlib.h>

#include <utility>

namespace parvola {

ZipException::ZipException(int cause, std::string path)
    : cause_(cause),
      path_(std::move(path)),
      message_("zip error " + std::to_string(cause) + " on " + path_) {}

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

void ZipException::raise(int cause, const std::string& path) {
    throw ZipException(cause, path);
}

void ZipException::raiseZlib(int zlibResult, const std::string& path) {
    throw ZipException(causeFromZlib(zlibResult), path);
}

}  // namespace parvola
