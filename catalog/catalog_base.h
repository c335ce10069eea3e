#pragma once
// The base of a catalog merge: the catalog this application directory last
// knew to be in the mailbox (the one loaded at login, or the last one it
// mailed), with the version and time of that catalog mail. Every local
// change starts from it, so before a catalog is mailed, a catalog mail
// ranked above it is another computer's change, merged against this base
// (catalog/catalog_merge.h). Kept beside the catalog as user + "_config.base".
#include <string>

namespace parvola {

struct CatalogBase {
    std::string text;  // the catalog document
    int version = 0;   // of its catalog mail's subject
    long long time = 0;
};

// user + "_config.base"
std::string catalogBaseName(const std::string& user);

// The user's base; false when there is none (or it cannot be read).
bool readCatalogBase(const std::string& user, CatalogBase& base);

// Keeps `base` as the user's base unless the one kept already ranks above it
// (a higher version, or the same version mailed later): whoever notes a
// catalog mail last never takes the base back behind a newer one. The caller
// holds the catalog's lock. False when it could not be written.
bool noteCatalogBase(const std::string& user, const CatalogBase& base);

// Keeps `base` whatever was kept before: a login starts over from the
// catalog it loaded (or made). The caller holds the catalog's lock.
bool resetCatalogBase(const std::string& user, const CatalogBase& base);

// True when a catalog mail of `version` and `time` ranks above `base`.
bool ranksAbove(int version, long long time, const CatalogBase& base);

}  // namespace parvola
