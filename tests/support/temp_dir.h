#pragma once
#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace parvola::test {

// A fresh folder under /tmp, removed with everything in it when the object dies.
class TempDir {
  public:
    explicit TempDir(const std::string& prefix = "parvola-test");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string str() const { return path_.string(); }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

  private:
    std::filesystem::path path_;
};

// Sets an environment variable for the lifetime of the object, then restores it.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const std::string& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    std::string name_;
    std::string old_;
    bool hadOld_;
};

// A fresh application directory (PARVOLA_HOME) for one test.
class AppHome {
  public:
    AppHome() : dir_("parvola-home"), env_("PARVOLA_HOME", dir_.str()) {}
    const std::filesystem::path& path() const { return dir_.path(); }
    std::string str() const { return dir_.str(); }

  private:
    TempDir dir_;
    ScopedEnv env_;
};

std::string readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const std::string& bytes);
// Deterministic pseudo-random bytes (the same for the same seed).
std::string randomBytes(size_t size, unsigned seed);
// Every file below `root` that is not a folder, relative to it, sorted.
std::vector<std::string> filesBelow(const std::filesystem::path& root);
// Every entry below `root` (folders too) with the bytes of each file: what a
// run that must write nothing is compared by.
std::set<std::pair<std::string, std::string>> contentsBelow(const std::filesystem::path& root);

}  // namespace parvola::test
