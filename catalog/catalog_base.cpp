#include "catalog/catalog_base.h"

#include <cstdio>
#include <cstdlib>

#include "catalog/xml/text_file.h"
#include "platform/app_dir.h"
#include "platform/file_lock.h"

namespace parvola {
namespace {

// The file is one line "<version> <time>" and the catalog text after it.
constexpr const char kMark[] = "PARVOLBASE ";

}  // namespace

std::string catalogBaseName(const std::string& user) {
    return user + "_config.base";
}

bool readCatalogBase(const std::string& user, CatalogBase& base) {
    std::string bytes, diagnostic;
    if (!readFileBytes(appPath(catalogBaseName(user)), bytes, diagnostic))
        return false;
    const std::string mark = kMark;
    const size_t lineEnd = bytes.find('\n');
    if (bytes.compare(0, mark.size(), mark) != 0 || lineEnd == std::string::npos)
        return false;
    long long version = 0, time = 0;
    if (std::sscanf(bytes.c_str() + mark.size(), "%lld %lld", &version, &time) != 2)
        return false;
    base.version = static_cast<int>(version);
    base.time = time;
    base.text = bytes.substr(lineEnd + 1);
    return true;
}

bool ranksAbove(int version, long long time, const CatalogBase& base) {
    return version > base.version || (version == base.version && time > base.time);
}

bool noteCatalogBase(const std::string& user, const CatalogBase& base) {
    CatalogBase kept;
    if (readCatalogBase(user, kept) && !ranksAbove(base.version, base.time, kept))
        return true;
    return resetCatalogBase(user, base);
}

bool resetCatalogBase(const std::string& user, const CatalogBase& base) {
    const std::string head =
        kMark + std::to_string(base.version) + " " + std::to_string(base.time) + "\n";
    return writeFileAtomically(appPath(catalogBaseName(user)), head + base.text);
}

}  // namespace parvola
