#pragma once
// A private folder for readers that write files: `out()` is handed to the
// reader as its destination; afterwards check() aborts when anything appeared
// outside `out()` (beside it in the sandbox, or as a link or folder leading
// out of it), and clear() empties `out()` for the next input.
#include <string>

namespace parvola::fuzz {

class Sandbox {
  public:
    Sandbox();
    ~Sandbox();
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;

    const std::string& root() const { return root_; }
    const std::string& out() const { return out_; }
    // A file beside out() that the reader may read (its input), or empty.
    std::string inputPath() const { return root_ + "/input"; }

    void check() const;
    void clear() const;

  private:
    std::string root_;
    std::string out_;
};

}  // namespace parvola::fuzz
