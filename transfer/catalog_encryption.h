#pragma once
// The catalog's trip through the mailbox for an encrypted account: the zip
// the catalog mail carries is sealed (crypto/catalog_seal) before it leaves
// and opened when it comes back, so the provider never sees a folder or file
// name. Plain accounts pass through untouched, byte for byte.
#include <string>

namespace parvola {

// Seals the catalog zip at `zipPath` in place when `loginAddress` is an
// encrypted account. True for a plain account (nothing done) and a sealed
// zip; false for a locked account or a failure: then nothing may be mailed.
bool sealCatalogForMail(const std::string& loginAddress, const std::string& zipPath);

// Opens, in place, a catalog zip retrieved from a catalog mail of an
// encrypted account. True for a plain account (nothing done) and an opened
// zip; false when the account is locked or the file does not authenticate,
// and then the file is left as it came (the caller goes on to an older mail
// and the local catalog stays).
bool openCatalogFromMail(const std::string& loginAddress, const std::string& zipPath);

}  // namespace parvola
