#include "crypto/crypto_result.h"

namespace parvola {

const char* cryptoResultName(CryptoResult result) {
    switch (result) {
        case CryptoResult::Ok:
            return "ok";
        case CryptoResult::WrongPassphrase:
            return "wrong passphrase";
        case CryptoResult::Damaged:
            return "damaged";
        case CryptoResult::Unsupported:
            return "unsupported";
        case CryptoResult::Tampered:
            return "tampered";
        case CryptoResult::Truncated:
            return "truncated";
        case CryptoResult::OutOfMemory:
            return "out of memory";
        case CryptoResult::Unavailable:
            return "unavailable";
        case CryptoResult::FileError:
            return "file error";
        case CryptoResult::Refused:
            return "refused";
    }
    return "unknown";
}

}  // namespace parvola
