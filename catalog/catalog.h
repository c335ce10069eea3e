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
#include <functional>
#include <optional>
#include <string>
#include <string_view>
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

// What `exists` finds of a name at one level of the catalog.
enum class CatalogPresence {
    Absent,       // no element of that name (or no such level)
    Live,         // a live element of that name (it may have deleted namesakes)
    OnlyDeleted,  // only deleted ones: the name is held by the recycle bin
};

// Result of a change whose catalog file could not be written (a full disk):
// the file and the object stay as they were, and nothing is notified or mailed.
inline constexpr int kCatalogNotSaved = -3;
// Result of a change refused because a name is one a folder path cannot
// carry (catalog/item_names.h): nothing changed.
inline constexpr int kNameRefused = -4;
// What the command or worker that made such a change shows.
inline constexpr const char* kCatalogNotSavedText =
    "目录保存失败:程序目录所在磁盘空间不足,本次修改未保存。请清理磁盘后再试!";
// Result of addFileRecord when the folder already holds a file of that name,
// live or deleted.
inline constexpr int kCatalogNameTaken = -2;

// Current local time as "%y-%m-%d %H:%M:%S".
std::string catalogTimeText();

// Paths name folders from the top level down, joined by single backslashes,
// without the user level; the empty path is the user level. An "item path"
// is a folder path with one more name, that of the item itself.
//
// The changes (createNew, addFolder ... purgeFile, renameFolder) each run as
// one critical section and, once saved, notify the web service and start the
// catalog mail; unless said otherwise they answer 0 when done, -1 when the
// place or the item they name is not there (nothing changed), and
// kCatalogNotSaved when the file could not be written.
class Catalog {
  public:
    // Loads `user`'s catalog file (an empty document when there is none).
    explicit Catalog(const std::string& user);
    Catalog(const Catalog&) = delete;
    Catalog& operator=(const Catalog&) = delete;

    // Loads `user`'s catalog file anew; true when it holds well-formed XML.
    bool reload(const std::string& user);
    // Replaces `user`'s catalog with a new one: the default folders (with
    // "自定义" inside the first), the recycle bin, version 1 and no files.
    // 0, or kCatalogNotSaved.
    int createNew(const std::string& user);

    // Moves the cursor into the folder at `path`: 0, or -1 when there is no
    // such folder. The empty path answers 0 and leaves the cursor alone.
    // A folder may have a deleted namesake beside it (the name of a folder
    // in the recycle bin is free again); every step of the path then takes
    // the live one, and the deleted one only when the live one does not lead
    // on to the rest of the path.
    int goToFolder(const std::string& path);
    // The live folders, then the live files, of the folder at `path`, in
    // document order: 1, or -1 (and no rows) when there is no such folder.
    int listFolder(const std::string& path, std::vector<CatalogRow>& rows);
    // As listFolder, except that the empty path lists the user level (its
    // folders, then the files that other clients keep there); listFolder
    // itself lists the current level, as the tree walk expects. 1, or -1
    // when the folder is not found.
    int listLevel(const std::string& path, std::vector<CatalogRow>& rows);
    // The recycle bin's folder records, then its file records: always 0 (no
    // rows when the catalog has no recycle bin).
    int listRecycleBin(std::vector<CatalogRow>& rows);
    // Whether the level `path` holds an element of `tag` ("Folder" or
    // "File") named `name`, live or deleted.
    CatalogPresence exists(const std::string& path, const std::string& name, const char* tag);

    // Appends a folder named `name` at the end of the level `parentPath`;
    // kNameRefused for a name a folder path cannot carry.
    int addFolder(const std::string& parentPath, const std::string& name);
    // Records a stored file in the folder at `path` and adds it to the file
    // count and the stored bytes. kCatalogNameTaken when a file of that name
    // is there, live or deleted (its recycle record and piece mails are keyed
    // by the name); kNameRefused for a name a folder path cannot carry.
    int addFileRecord(const std::string& path, const std::string& fileName,
                      const std::string& subject, long long size);
    // Moves the live folder at `path` (not the user level) to the recycle
    // bin: it stays in the tree marked deleted, with a record in the bin.
    int deleteFolder(const std::string& path);
    // The same for the live file at `itemPath`.
    int deleteFile(const std::string& itemPath);
    // Brings the deleted folder at `path` back and drops its bin record.
    // Restoring an item inside folders that are in the recycle bin themselves
    // brings those folders back too (else it would stay out of sight);
    // `restoredFolders`, when given, receives their paths, top level first.
    int undeleteFolder(const std::string& path,
                       std::vector<std::string>* restoredFolders = nullptr);
    // Brings the deleted file `name` of the folder `path` back, with the
    // deleted folders on its path as undeleteFolder does.
    int undeleteFile(const std::string& path, const std::string& name,
                     std::vector<std::string>* restoredFolders = nullptr);
    // Removes the folder at `path` (not the user level) with all it holds,
    // and every bin record of it or of anything below it; the files inside
    // leave the counters and their piece mails are cleaned up.
    int purgeFolder(const std::string& path);
    // Removes the file `name` of the folder `path` and its bin record; it
    // leaves the counters, its piece mails are cleaned up and the web
    // service is told of the deletion.
    int purgeFile(const std::string& path, const std::string& name);
    // Renames the folder `oldName` at the level of `itemPath` (the folder's
    // own item path). True when renamed; false for a new name a folder path
    // cannot carry, the three default folders and the recycle bin, a folder
    // that is not there, or a failed save. The catalog version does not change.
    bool renameFolder(const std::string& itemPath, const std::string& oldName,
                      const std::string& newName);

    // How many elements of `tag` follow the cursor at its level; the cursor
    // goes back to the start of that level.
    int count(const char* tag);
    // Moves the cursor into the User element; false when there is none.
    bool enterUser();
    // The catalog version (raised by every change but a rename), or -1
    // when the catalog has no user.
    int version();
    // The file count and the stored bytes weighed by 1.2: 0, or -1 (figures
    // untouched) when the catalog has no user.
    int spaceUsed(long long& fileCount, long long& weightedBytes);
    // True while the weighted bytes stay below the 500 MiB mark.
    bool belowQuota();
    // True when `size` more bytes, weighed, still stay below the quota.
    bool fits(long long size);
    // True when the catalog has a User with a name.
    bool hasUser();
    // Posts the "action=share" form with this computer's address: 0, or -1
    // when the catalog has no user.
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
    // The element of the folder at `path`, the user element for the empty
    // path, or 0. At each step the namesakes that are deleted (or live, with
    // `deletedFirst` off) come first; one that does not lead on to the rest
    // of the path, or whose folder fails `wanted`, gives way to the next.
    int folderAt(const std::string& path, bool deletedFirst,
                 const std::function<bool(int)>& wanted = nullptr);
    int folderBelow(int level, std::string_view rest, bool deletedFirst,
                    const std::function<bool(int)>& wanted) const;
    // The first child of `folder` of `tag` named `name` that is deleted (or
    // live, with `deleted` off); 0 when none.
    int childNamed(int folder, const char* tag, const std::string& name, bool deleted) const;
    bool isWithin(int element, int folder) const;
    // The recycle bin's records of items inside `folder`, whose path is
    // `folderPath`.
    std::vector<int> binRecordsWithin(int folder, const std::string& folderPath);
    bool findNamed(const char* tag, const std::string& name);
    bool enterRecycle();
    // Brings back the deleted folders that hold `element`, `path` being the
    // path of the innermost one.
    void undeleteFoldersAbove(int element, const std::string& path,
                              std::vector<std::string>* restored);
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
