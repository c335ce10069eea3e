#pragma once
// A private folder in the application directory for one catalog zip or one
// unpacked catalog while it is being made, mailed or checked. Each user of
// the catalog files gets its own, so a worker that zips never shares a path
// with another worker or with a login that unpacks; the folder and everything
// in it go away with the object.
#include <string>

namespace parvola {

class CatalogScratch {
  public:
    // Creates "<application directory>/.catalog-XXXXXX" (0700).
    CatalogScratch();
    ~CatalogScratch();
    CatalogScratch(const CatalogScratch&) = delete;
    CatalogScratch& operator=(const CatalogScratch&) = delete;

    // False when the folder could not be created.
    bool ok() const { return !path_.empty(); }
    const std::string& path() const { return path_; }
    // path() + "/" + name
    std::string file(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

// The prefix of the scratch folders' names.
inline constexpr const char* kCatalogScratchPrefix = ".catalog-";

}  // namespace parvola
