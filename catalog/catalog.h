#pragma once
// One user's catalog: folders, file records, the recycle bin and the counters
// the web service and the space display need, kept as an XML document in the
// application directory (user + "_config").
//
// A Catalog is short-lived: every command and worker builds its own. Every
// change is one critical section over the user's catalog file, across threads
// and processes: take the lock, re-read the file if someone else saved since
// this object loaded it, change, save through a temporary file and rename,
// release. So concurrent changes are never lost and a crash never leaves half
// a catalog. Notifications and the catalog mail follow after the lock is gone.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "catalog/xml/text_file.h"
#include "catalog/xml/xml_doc.h"

namespace parvola {

// One line of a folder or recycle-bin listing.
struct CatalogRow {
    std::string type;  // "文件夹" or "文件"
    std::string name;
    std::string subject;
    long long msgId = 0;
    std::string time;  // CT in folder listings, DT in the recycle bin
    long long size = 0;
    std::string lt;
    std::string path;  // the listed folder's path, or the record's Path
};

// The labels of the catalog, as stored.
extern const char kFolderType[];   // "文件夹"
extern const char kFileType[];     // "文件"
extern const char kRecycleName[];  // "回收站"
extern const char* const kDefaultFolders[3];

// Result of a change whose catalog file could not be written (a full disk):
// the file and the object stay as they were, and nothing is notified or mailed.
inline constexpr int kCatalogNotSaved = -3;
// Result of a change refused because a name is one a folder path cannot
// carry (catalog/item_names.h): nothing changed.
inline constexpr int kNameRefused = -4;
// What the command or worker that made such a change shows.
inline constexpr const char* kCatalogNotSavedText =
    "目录保存失败:程序目录所在磁盘空间不足,本次修改未保存。请清理磁盘后再试!";

// Current local time as "%y-%m-%d %H:%M:%S".
std::string catalogTimeText();

class Catalog {
  public:
    explicit Catalog(const std::string& user);
    Catalog(const Catalog&) = delete;
    Catalog& operator=(const Catalog&) = delete;

    bool reload(const std::string& user);
    int createNew(const std::string& user);

    int goToFolder(const std::string& path);
    int listFolder(const std::string& path, std::vector<CatalogRow>& rows);
    // As listFolder, except that the empty path lists the user level (its
    // folders, then the files that other clients keep there); listFolder
    // itself lists the current level, as the tree walk expects. 1, or -1
    // when the folder is not found.
    int listLevel(const std::string& path, std::vector<CatalogRow>& rows);
    int listRecycleBin(std::vector<CatalogRow>& rows);
    int exists(const std::string& path, const std::string& name, const char* tag);

    int addFolder(const std::string& parentPath, const std::string& name);
    int addFileRecord(const std::string& path, const std::string& fileName,
                      const std::string& subject, long long size);
    int deleteFolder(const std::string& path);
    int deleteFile(const std::string& itemPath);
    // Restoring an item inside folders that are in the recycle bin themselves
    // brings those folders back too (else it would stay out of sight);
    // `restoredFolders`, when given, receives their paths, top level first.
    int undeleteFolder(const std::string& path,
                       std::vector<std::string>* restoredFolders = nullptr);
    int undeleteFile(const std::string& path, const std::string& name,
                     std::vector<std::string>* restoredFolders = nullptr);
    int purgeFolder(const std::string& path);
    int purgeFile(const std::string& path, const std::string& name);
    bool renameFolder(const std::string& itemPath, const std::string& oldName,
                      const std::string& newName);

    int count(const char* tag);
    bool enterUser();
    int version();
    int spaceUsed(long long& fileCount, long long& weightedBytes);
    bool belowQuota();
    bool fits(long long size);
    bool hasUser();
    int postShare();

    XmlDoc& document() { return doc_; }
    const std::string& user() const { return user_; }
    const std::string& filePath() const { return path_; }

  private:
    struct Outcome;  // what a change leaves to do once the lock is released
    template <class Edit>
    int change(Edit&& edit);
    void load();
    void refreshFromDisk();
    void save(Outcome& outcome);
    int bumpVersion(Outcome& outcome);
    bool goToLevel(const std::string& path);
    bool findNamed(const char* tag, const std::string& name);
    bool enterRecycle();
    void undeleteFoldersOn(const std::string& path, std::vector<std::string>* restored);
    bool removeRecord(const char* tag, const std::string& path, const std::string* name);
    void setFolderAttributes(const std::string& name, const std::string& now);

    XmlDoc doc_;
    std::string user_;
    std::string path_;
    // The file as this object last read or wrote it (none: there was no file).
    std::optional<FileStamp> stamp_;
    // The save count kept in the lock file when this object loaded or saved.
    uint64_t saveCount_ = 0;
};

}  // namespace parvola
