#pragma once
// The one list of results of the crypto library. Every call answers one of
// these; nothing is thrown out of the library.
namespace parvola {

enum class CryptoResult {
    Ok,
    WrongPassphrase,  // the wrapped key does not open with this passphrase
    Damaged,          // the text or the bytes are not in our format, or cut short in a header
    Unsupported,      // a format version, key derivation or parameter this build does not take
    Tampered,         // authentication failed: changed, swapped or replayed from elsewhere
    Truncated,        // the stream ended before its final chunk
    OutOfMemory,      // the key derivation could not get the memory its parameters ask for
    Unavailable,      // libsodium could not be initialised
    FileError,        // a file could not be read or written
    Refused,          // a call the object does not take in its state (pushed after finish, ...)
};

// A short English name of the result, for diagnostics ("wrong passphrase").
const char* cryptoResultName(CryptoResult result);

}  // namespace parvola
