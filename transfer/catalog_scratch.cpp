#include "transfer/catalog_scratch.h"

#include <stdlib.h>

#include <filesystem>
#include <system_error>

#include "platform/app_dir.h"

namespace parvola {

CatalogScratch::CatalogScratch() {
    std::string pattern = appPath(std::string(kCatalogScratchPrefix) + "XXXXXX");
    if (::mkdtemp(pattern.data()) != nullptr)
        path_ = std::move(pattern);
}

CatalogScratch::~CatalogScratch() {
    if (path_.empty())
        return;
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

}  // namespace parvola
