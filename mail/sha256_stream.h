#pragma once
// SHA-256 of bytes that arrive in pieces (a part being decoded while it is
// received), so the digest is known when the last piece is written, without
// reading the file again.
#include <memory>
#include <string>
#include <string_view>

namespace parvola {

class Sha256Stream {
  public:
    Sha256Stream();
    ~Sha256Stream();
    Sha256Stream(const Sha256Stream&) = delete;
    Sha256Stream& operator=(const Sha256Stream&) = delete;

    void update(std::string_view bytes);
    // The digest as 64 lower-case hex digits; empty when the digest could
    // not be computed. Ends the stream.
    std::string finishHex();

  private:
    struct Context;
    std::unique_ptr<Context> context_;
    bool good_ = true;
};

}  // namespace parvola
