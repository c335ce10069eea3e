#pragma once
// The file of one attachment while it is decoded: written under a temporary
// name beside its final name, and put in place only when the whole mail has
// arrived. A retrieval that breaks off leaves no file behind and does not
// touch a file of the same name that was there before.
#include <filesystem>
#include <string_view>

namespace parvola {

class MimePartFile {
  public:
    // Creates the temporary file in the folder of `finalPath`; isOpen() is
    // false when it cannot be created.
    explicit MimePartFile(std::filesystem::path finalPath);
    // Removes the temporary file unless it was put in place.
    ~MimePartFile();
    MimePartFile(const MimePartFile&) = delete;
    MimePartFile& operator=(const MimePartFile&) = delete;

    bool isOpen() const { return fd_ >= 0; }
    // False once any write failed (a full disk).
    bool write(std::string_view bytes);
    // Closes the file; false when a write or the close failed.
    bool close();
    // Renames the closed file to its final name (replacing a file there).
    bool putInPlace();
    const std::filesystem::path& finalPath() const { return finalPath_; }

  private:
    std::filesystem::path finalPath_;
    std::string temporary_;
    int fd_ = -1;
    bool good_ = true;
    bool placed_ = false;
};

}  // namespace parvola
