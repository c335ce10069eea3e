#include "catalog/catalog.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <iterator>
#include <string>

#include "catalog/catalog_hooks.h"
#include "catalog/catalog_path.h"
#include "catalog/item_names.h"
#include "catalog/xml/text_file.h"
#include "platform/app_dir.h"
#include "platform/file_lock.h"
#include "platform/host_info.h"
#include "platform/local_time.h"
#include "web/site_forms.h"

namespace parvola {

const char kFolderType[] = "文件夹";
const char kFileType[] = "文件";
const char kRecycleName[] = "回收站";
const char* const kDefaultFolders[3] = {"我的文档", "我的图片", "我的媒体"};

namespace {

const char kHeader[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n";
const char kCustomFolder[] = "自定义";
// Stored bytes are weighed by 1.2 in every quota figure.
constexpr double kWeight = 1.2;
constexpr double kQuotaBytes = 524288000.0;  // 500 MiB

long long toInteger(const std::string& text) {
    return std::atoll(text.c_str());
}

bool isTrue(const std::string& text) {
    return text == "true";
}

bool isSameOrBelow(const std::string& path, const std::string& folder) {
    return path == folder || path.rfind(folder + "\\", 0) == 0;
}

}  // namespace

std::string catalogTimeText() {
    return localTimeText(std::time(nullptr), YearDigits::Two);
}

struct Catalog::Outcome {
    bool saved = false;
    bool saveFailed = false;
    std::vector<std::string> forms;
    std::vector<std::string> purgedSubjects;
};

Catalog::Catalog(const std::string& user) {
    reload(user);
}

bool Catalog::reload(const std::string& user) {
    user_ = user;
    path_ = appPath(user + "_config");
    load();
    return doc_.isWellFormed();
}

namespace {

// Every save under the lock also counts itself in the lock file, so a change
// is seen even when a new file happens to get the old one's inode, size and
// (coarse) change time.
uint64_t readSaveCount(const std::string& lockPath) {
    uint64_t count = 0;
    int fd = ::open(lockPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    if (::pread(fd, &count, sizeof count, 0) != static_cast<ssize_t>(sizeof count))
        count = 0;
    ::close(fd);
    return count;
}

void writeSaveCount(const std::string& lockPath, uint64_t count) {
    int fd = ::open(lockPath.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    if (::pwrite(fd, &count, sizeof count, 0) != static_cast<ssize_t>(sizeof count))
        count = 0;
    ::close(fd);
}

}  // namespace

void Catalog::load() {
    // The count first: a save in between makes it look older, never newer.
    saveCount_ = readSaveCount(path_ + ".lock");
    std::string bytes, diagnostic;
    FileStamp stamp;
    doc_.setDocumentFlags(0);
    if (!readFileBytes(path_, bytes, diagnostic, &stamp)) {
        stamp_.reset();
        doc_.setText("");
        return;
    }
    stamp_ = stamp;
    doc_.loadBytes(std::move(bytes));
}

void Catalog::refreshFromDisk() {
    // Another object (thread or process) may have saved since this one loaded:
    // the save count tells, and the file's stamp tells of a file replaced by
    // anything else (every save renames a new file into place).
    FileStamp now;
    bool present = stampOf(path_, now);
    if (readSaveCount(path_ + ".lock") != saveCount_ || present != stamp_.has_value() ||
        (present && !(now == *stamp_)))
        load();
}

void Catalog::save(Outcome& outcome) {
    // The file is written beside the catalog and renamed over it, so a save
    // that fails (a full disk) leaves the file whole as it was. This object
    // goes back to that file too: the change did not happen.
    if (!doc_.saveFile(path_)) {
        outcome.saveFailed = true;
        load();
        return;
    }
    FileStamp stamp;
    if (stampOf(path_, stamp))
        stamp_ = stamp;
    saveCount_ = readSaveCount(path_ + ".lock") + 1;
    writeSaveCount(path_ + ".lock", saveCount_);
    outcome.saved = true;
}

template <class Edit>
int Catalog::change(Edit&& edit) {
    Outcome outcome;
    int result;
    {
        FileLock lock(path_ + ".lock");
        refreshFromDisk();
        result = edit(outcome);
    }
    // Nothing of a change that was not saved may reach the mailbox or the web
    // service: a purge would delete the pieces of a file still recorded.
    if (outcome.saveFailed)
        return kCatalogNotSaved;
    CatalogHooks hooks = catalogHooks();
    for (const std::string& subject : outcome.purgedSubjects) {
        if (hooks.startPieceCleanup)
            hooks.startPieceCleanup(user_, subject);
    }
    for (const std::string& form : outcome.forms) {
        if (hooks.notify)
            hooks.notify(form);
    }
    if (outcome.saved && hooks.startCatalogMail)
        hooks.startCatalogMail(user_);
    return result;
}

int Catalog::bumpVersion(Outcome& outcome) {
    doc_.resetPosition();
    if (!doc_.findNext("User"))
        return -1;
    std::string name = doc_.attribute("Name");
    long long version = toInteger(doc_.attribute("Version")) + 1;
    long long sum = toInteger(doc_.attribute("SUM"));
    doc_.setAttribute("Version", version);
    // Weighted megabytes (1.2 / 1048576), as a single-precision value.
    float share = static_cast<float>(static_cast<double>(sum) * 1.1444091796875e-6);
    outcome.forms.push_back("action=xml&email=" + name + "&xml=" + std::to_string(version) +
                            "&share=" + shareText(static_cast<double>(share)));
    return static_cast<int>(version);
}

// ---- navigation ------------------------------------------------------------

bool Catalog::enterUser() {
    doc_.resetPosition();
    return doc_.findNext("User") && doc_.enter();
}

int Catalog::goToFolder(const std::string& path) {
    if (path.empty())
        return 0;
    const int folder = folderAt(path, false);
    if (folder == 0)
        return -1;
    doc_.restorePosition(folder, 0, 0);
    return 0;
}

int Catalog::folderAt(const std::string& path, bool deletedFirst,
                      const std::function<bool(int)>& wanted) {
    if (!enterUser())
        return 0;
    const int user = doc_.parentPosition();
    if (path.empty())
        return !wanted || wanted(user) ? user : 0;
    return folderBelow(user, path, deletedFirst, wanted);
}

int Catalog::folderBelow(int level, std::string_view rest, bool deletedFirst,
                         const std::function<bool(int)>& wanted) const {
    const size_t cut = rest.find('\\');
    const std::string_view head = rest.substr(0, cut);
    for (const bool deleted : {deletedFirst, !deletedFirst}) {
        for (int c = doc_.slot(level).firstChild; c != 0; c = doc_.slot(c).nextSibling) {
            if (doc_.tagName(c) != "Folder" || doc_.getAttribute(c, "Name") != head ||
                isTrue(doc_.getAttribute(c, "Del")) != deleted)
                continue;
            const int found = cut != std::string_view::npos
                                  ? folderBelow(c, rest.substr(cut + 1), deletedFirst, wanted)
                                  : (!wanted || wanted(c) ? c : 0);
            if (found != 0)
                return found;
        }
    }
    return 0;
}

int Catalog::childNamed(int folder, const char* tag, const std::string& name, bool deleted) const {
    for (int c = doc_.slot(folder).firstChild; c != 0; c = doc_.slot(c).nextSibling) {
        if (doc_.tagName(c) == tag && doc_.getAttribute(c, "Name") == name &&
            isTrue(doc_.getAttribute(c, "Del")) == deleted)
            return c;
    }
    return 0;
}

bool Catalog::goToLevel(const std::string& path) {
    if (path.empty())
        return enterUser();
    return goToFolder(path) == 0;
}

bool Catalog::findNamed(const char* tag, const std::string& name) {
    while (doc_.findNext(tag)) {
        if (doc_.attribute("Name") == name)
            return true;
    }
    return false;
}

bool Catalog::enterRecycle() {
    return enterUser() && doc_.findNext("Recycle") && doc_.enter();
}

// Removes the first record of `tag` in the recycle bin whose Path (and Name,
// when given) match.
bool Catalog::removeRecord(const char* tag, const std::string& path, const std::string* name) {
    if (!enterRecycle())
        return false;
    while (doc_.findNext(tag)) {
        if (doc_.attribute("Path") == path && (name == nullptr || doc_.attribute("Name") == *name))
            return doc_.removeElement();
    }
    return false;
}

// ---- listings ---------------------------------------------------------------

int Catalog::listFolder(const std::string& path, std::vector<CatalogRow>& rows) {
    rows.clear();
    if (!path.empty() && goToFolder(path) != 0)
        return -1;
    for (const char* tag : {"Folder", "File"}) {
        doc_.restorePosition(doc_.parentPosition(), 0, 0);
        // Each record's tag is read once for all its fields: a folder of
        // 10,000 files is listed in one pass over its records.
        static constexpr const char* kFields[] = {"Del", "Subject", "Name", "MsgID",
                                                  "CT",  "Size",    "LT"};
        std::string values[std::size(kFields)];
        while (doc_.findNext(tag)) {
            doc_.attributes(kFields, std::size(kFields), values);
            if (isTrue(values[0]))
                continue;
            CatalogRow row;
            row.subject = std::move(values[1]);
            row.type = row.subject.empty() ? kFolderType : kFileType;
            row.name = std::move(values[2]);
            row.msgId = toInteger(values[3]);
            row.time = std::move(values[4]);
            row.size = toInteger(values[5]);
            row.lt = std::move(values[6]);
            row.path = path;
            rows.push_back(std::move(row));
        }
    }
    return 1;
}

int Catalog::listLevel(const std::string& path, std::vector<CatalogRow>& rows) {
    if (path.empty()) {
        rows.clear();
        if (!enterUser())
            return -1;
    }
    return listFolder(path, rows);
}

int Catalog::listRecycleBin(std::vector<CatalogRow>& rows) {
    rows.clear();
    doc_.resetPosition();
    if (!doc_.findNext("User") || !doc_.enter() || !doc_.findNext("Recycle"))
        return 0;
    for (const char* tag : {"Folder", "File"}) {
        doc_.restorePosition(doc_.parentPosition(), doc_.currentPosition(), 0);
        while (doc_.findChild(tag)) {
            if (isTrue(doc_.childAttribute("Del")))
                continue;
            CatalogRow row;
            row.type = doc_.childAttribute("Type");
            row.name = doc_.childAttribute("Name");
            row.time = doc_.childAttribute("DT");
            row.size = toInteger(doc_.childAttribute("Size"));
            row.subject = doc_.childAttribute("Subject");
            row.msgId = toInteger(doc_.childAttribute("MsgID"));
            row.lt = doc_.childAttribute("LT");
            row.path = doc_.childAttribute("Path");
            rows.push_back(std::move(row));
        }
    }
    return 0;
}

CatalogPresence Catalog::exists(const std::string& path, const std::string& name, const char* tag) {
    if (!goToLevel(path))
        return CatalogPresence::Absent;
    // A live element wins over deleted ones of the same name.
    CatalogPresence presence = CatalogPresence::Absent;
    while (findNamed(tag, name)) {
        if (!isTrue(doc_.attribute("Del")))
            return CatalogPresence::Live;
        presence = CatalogPresence::OnlyDeleted;
    }
    return presence;
}

int Catalog::count(const char* tag) {
    int n = 0;
    while (doc_.findNext(tag))
        ++n;
    doc_.restorePosition(doc_.parentPosition(), 0, 0);
    return n;
}

// ---- figures ------------------------------------------------------------------

int Catalog::version() {
    doc_.resetPosition();
    if (!doc_.findNext("User"))
        return -1;
    return static_cast<int>(toInteger(doc_.attribute("Version")));
}

int Catalog::spaceUsed(long long& fileCount, long long& weightedBytes) {
    doc_.resetPosition();
    if (!doc_.findNext("User"))
        return -1;
    fileCount = toInteger(doc_.attribute("FN"));
    weightedBytes =
        static_cast<long long>(static_cast<double>(toInteger(doc_.attribute("SUM"))) * kWeight);
    return 0;
}

bool Catalog::belowQuota() {
    long long files = 0, weighted = 0;
    if (spaceUsed(files, weighted) != 0)
        return false;
    return weighted / 1048576 < 500;
}

bool Catalog::fits(long long size) {
    long long files = 0, weighted = 0;
    if (spaceUsed(files, weighted) != 0)
        return false;
    return static_cast<double>(size) * kWeight + static_cast<double>(weighted) < kQuotaBytes;
}

bool Catalog::hasUser() {
    doc_.resetPosition();
    return doc_.findNext("User") && !doc_.attribute("Name").empty();
}

int Catalog::postShare() {
    doc_.resetPosition();
    if (!doc_.findNext("User"))
        return -1;
    std::string form =
        "action=share&email=" + doc_.attribute("Name") + "&share=" + localIPv4Address();
    CatalogHooks hooks = catalogHooks();
    if (hooks.notify)
        hooks.notify(form);
    return 0;
}

// ---- changes --------------------------------------------------------------------

void Catalog::setFolderAttributes(const std::string& name, const std::string& now) {
    doc_.setAttribute("Name", name);
    doc_.setAttribute("CT", now);
    doc_.setAttribute("Size", "0");
    doc_.setAttribute("Del", "false");
}

int Catalog::createNew(const std::string& user) {
    user_ = user;
    path_ = appPath(user + "_config");
    return change([&](Outcome& outcome) {
        const std::string now = catalogTimeText();
        doc_.setDocumentFlags(0);
        doc_.setText(kHeader);
        doc_.addElement("User");
        doc_.setAttribute("Name", user);
        doc_.setAttribute("Version", "1");
        doc_.setAttribute("FN", "0");
        doc_.setAttribute("SUM", "0");
        doc_.addChildElement("Folder");
        doc_.enter();
        setFolderAttributes(kDefaultFolders[0], now);
        doc_.addChildElement("Folder");
        doc_.enter();
        setFolderAttributes(kCustomFolder, now);
        doc_.leave();
        doc_.addElement("Folder");
        setFolderAttributes(kDefaultFolders[1], now);
        doc_.addElement("Folder");
        setFolderAttributes(kDefaultFolders[2], now);
        doc_.addElement("Recycle");
        doc_.setAttribute("Name", kRecycleName);
        save(outcome);
        return 0;
    });
}

int Catalog::addFolder(const std::string& parentPath, const std::string& name) {
    if (folderNameProblem(name) != NameProblem::None)
        return kNameRefused;
    return change([&](Outcome& outcome) {
        if (!goToLevel(parentPath))
            return -1;
        doc_.restorePosition(doc_.parentPosition(), 0, 0);  // append at the end of the level
        doc_.addElement("Folder");
        setFolderAttributes(name, catalogTimeText());
        bumpVersion(outcome);
        save(outcome);
        return 0;
    });
}

int Catalog::addFileRecord(const std::string& path, const std::string& fileName,
                           const std::string& subject, long long size) {
    if (fileNameProblem(fileName) != NameProblem::None)
        return kNameRefused;
    return change([&](Outcome& outcome) {
        if (!goToLevel(path))
            return -1;
        // Any File of that name, deleted or not: its recycle record and its
        // piece mails are keyed by the name.
        if (findNamed("File", fileName))
            return kCatalogNameTaken;
        doc_.restorePosition(doc_.parentPosition(), 0, 0);
        doc_.addElement("File");
        doc_.setAttribute("Name", fileName);
        doc_.setAttribute("CT", catalogTimeText());
        doc_.setAttribute("Size", size);
        doc_.setAttribute("Del", "false");
        doc_.setAttribute("Subject", subject);
        doc_.resetPosition();
        doc_.findNext("User");
        doc_.setAttribute("FN", toInteger(doc_.attribute("FN")) + 1);
        doc_.setAttribute("SUM", toInteger(doc_.attribute("SUM")) + size);
        bumpVersion(outcome);
        save(outcome);
        return 0;
    });
}

int Catalog::deleteFolder(const std::string& path) {
    return change([&](Outcome& outcome) {
        const int folder = path.empty() ? 0 : folderAt(path, false, [&](int found) {
            return !isTrue(doc_.getAttribute(found, "Del"));  // not in the recycle bin already
        });
        if (folder == 0 || !enterRecycle())
            return -1;
        std::string name = doc_.getAttribute(folder, "Name");
        doc_.addElement("Folder");
        doc_.setAttribute("Name", name);
        doc_.setAttribute("DT", catalogTimeText());
        doc_.setAttribute("Type", kFolderType);
        doc_.setAttribute("Path", path);
        doc_.restorePosition(0, folder, 0);
        doc_.setAttribute("Del", "true");
        bumpVersion(outcome);
        save(outcome);
        return 0;
    });
}

int Catalog::deleteFile(const std::string& itemPath) {
    std::string folder, name;
    splitItemPath(itemPath, folder, name);
    return change([&](Outcome& outcome) {
        int file = 0;
        folderAt(folder, false, [&](int found) {
            file = childNamed(found, "File", name, false);
            return file != 0;
        });
        if (file == 0 || !enterRecycle())
            return -1;
        std::string size = doc_.getAttribute(file, "Size");
        doc_.addElement("File");
        doc_.setAttribute("Name", name);
        doc_.setAttribute("DT", catalogTimeText());
        doc_.setAttribute("Type", kFileType);
        doc_.setAttribute("Path", folder);
        doc_.setAttribute("Size", toInteger(size));
        doc_.restorePosition(0, file, 0);
        doc_.setAttribute("Del", "true");
        bumpVersion(outcome);
        save(outcome);
        return 0;
    });
}

// Walks up from `element` rather than down the path: of two folders of one
// name, the one that holds what is restored comes back.
void Catalog::undeleteFoldersAbove(int element, const std::string& path,
                                   std::vector<std::string>* restored) {
    std::vector<int> chain;  // the folders holding `element`, top level first
    for (int s = doc_.slot(element).parent; s != 0 && doc_.tagName(s) == "Folder";
         s = doc_.slot(s).parent)
        chain.insert(chain.begin(), s);
    std::string prefix;
    size_t from = 0;
    for (const int folder : chain) {
        if (from > path.size())
            return;  // the path names fewer folders than hold the element
        const size_t cut = std::min(path.find('\\', from), path.size());
        prefix = path.substr(0, cut);
        from = cut + 1;
        if (!isTrue(doc_.getAttribute(folder, "Del")))
            continue;
        doc_.restorePosition(0, folder, 0);
        doc_.setAttribute("Del", "false");
        removeRecord("Folder", prefix, nullptr);
        if (restored != nullptr)
            restored->push_back(prefix);
    }
}

int Catalog::undeleteFolder(const std::string& path, std::vector<std::string>* restoredFolders) {
    std::string parent, name;
    splitItemPath(path, parent, name);
    return change([&](Outcome& outcome) {
        const int folder = path.empty() ? 0 : folderAt(path, true, [&](int found) {
            return isTrue(doc_.getAttribute(found, "Del"));
        });
        if (folder == 0)
            return -1;
        undeleteFoldersAbove(folder, parent, restoredFolders);
        doc_.restorePosition(0, folder, 0);
        doc_.setAttribute("Del", "false");
        removeRecord("Folder", path, nullptr);
        bumpVersion(outcome);
        save(outcome);
        return 0;
    });
}

int Catalog::undeleteFile(const std::string& path, const std::string& name,
                          std::vector<std::string>* restoredFolders) {
    return change([&](Outcome& outcome) {
        int file = 0;
        folderAt(path, false, [&](int found) {
            file = childNamed(found, "File", name, true);
            return file != 0;
        });
        if (file == 0)
            return -1;
        undeleteFoldersAbove(file, path, restoredFolders);
        doc_.restorePosition(0, file, 0);
        doc_.setAttribute("Del", "false");
        removeRecord("File", path, &name);
        bumpVersion(outcome);
        save(outcome);
        return 0;
    });
}

int Catalog::purgeFolder(const std::string& path) {
    return change([&](Outcome& outcome) {
        // Purging empties the recycle bin: of two folders of one name, the
        // deleted one goes.
        const int folder = path.empty() ? 0 : folderAt(path, true);
        if (folder == 0)
            return -1;
        doc_.restorePosition(doc_.slot(folder).parent, folder, 0);
        // The file records inside leave the counters and their piece mails
        // leave the mailbox, as when each file is purged on its own.
        long long files = 0, bytes = 0;
        std::vector<int> pending{folder};
        while (!pending.empty()) {
            int s = pending.back();
            pending.pop_back();
            for (int c = doc_.slot(s).firstChild; c != 0; c = doc_.slot(c).nextSibling) {
                if (doc_.tagName(c) == "Folder") {
                    pending.push_back(c);
                } else if (doc_.tagName(c) == "File") {
                    ++files;
                    bytes += toInteger(doc_.getAttribute(c, "Size"));
                    std::string subject = doc_.getAttribute(c, "Subject");
                    if (!subject.empty())
                        outcome.purgedSubjects.push_back(subject);
                }
            }
        }
        doc_.removeElement();
        // Its own record, and the records of anything inside it deleted earlier.
        if (enterRecycle()) {
            while (doc_.findNext()) {
                if (isSameOrBelow(doc_.attribute("Path"), path)) {
                    doc_.removeElement();
                }
            }
        }
        if (files > 0) {
            doc_.resetPosition();
            doc_.findNext("User");
            doc_.setAttribute("FN", toInteger(doc_.attribute("FN")) - files);
            doc_.setAttribute("SUM", toInteger(doc_.attribute("SUM")) - bytes);
        }
        bumpVersion(outcome);
        save(outcome);
        return 0;
    });
}

int Catalog::purgeFile(const std::string& path, const std::string& name) {
    return change([&](Outcome& outcome) {
        int file = 0;
        folderAt(path, true, [&](int found) {
            file = childNamed(found, "File", name, true);
            if (file == 0)
                file = childNamed(found, "File", name, false);
            return file != 0;
        });
        if (file == 0)
            return -1;
        doc_.restorePosition(doc_.slot(file).parent, file, 0);
        std::string subject = doc_.attribute("Subject");
        long long size = toInteger(doc_.attribute("Size"));
        doc_.removeElement();
        if (!subject.empty())
            outcome.purgedSubjects.push_back(subject);
        doc_.resetPosition();
        doc_.findNext("User");
        std::string user = doc_.attribute("Name");
        removeRecord("File", path, &name);
        doc_.resetPosition();
        doc_.findNext("User");
        doc_.setAttribute("FN", toInteger(doc_.attribute("FN")) - 1);
        doc_.setAttribute("SUM", toInteger(doc_.attribute("SUM")) - size);
        bumpVersion(outcome);
        save(outcome);
        outcome.forms.push_back("action=delete&email=" + user + "&filename=" + name +
                                "&time=" + catalogTimeText());
        return 0;
    });
}

bool Catalog::renameFolder(const std::string& itemPath, const std::string& oldName,
                           const std::string& newName) {
    if (folderNameProblem(newName) != NameProblem::None)
        return false;
    std::string parent, last;
    splitItemPath(itemPath, parent, last);
    if (parent.empty()) {
        for (const char* fixed : {kDefaultFolders[0], kDefaultFolders[1], kDefaultFolders[2],
                                  static_cast<const char*>(kRecycleName)}) {
            if (oldName == fixed)
                return false;
        }
    }
    int result = change([&](Outcome& outcome) {
        // Only a live folder is renamed, never a deleted namesake beside it.
        int folder = 0;
        folderAt(parent, false, [&](int found) {
            folder = childNamed(found, "Folder", oldName, false);
            return folder != 0;
        });
        if (folder == 0)
            return -1;
        const std::string oldPath = parent.empty() ? oldName : parent + "\\" + oldName;
        const std::string newPath = parent.empty() ? newName : parent + "\\" + newName;
        const std::vector<int> records = binRecordsWithin(folder, oldPath);
        doc_.restorePosition(doc_.slot(folder).parent, folder, 0);
        doc_.setAttribute("Name", newName);
        // The bin's records of what the folder holds follow it, so that what
        // was deleted inside can still be restored or purged.
        for (const int record : records) {
            doc_.restorePosition(0, record, 0);
            doc_.setAttribute("Path",
                              newPath + doc_.getAttribute(record, "Path").substr(oldPath.size()));
        }
        save(outcome);
        return 0;
    });
    return result == 0;
}

bool Catalog::isWithin(int element, int folder) const {
    for (int s = element; s != 0; s = doc_.slot(s).parent) {
        if (s == folder)
            return true;
    }
    return false;
}

std::vector<int> Catalog::binRecordsWithin(int folder, const std::string& folderPath) {
    std::vector<std::pair<int, CatalogRow>> candidates;
    if (!enterRecycle())
        return {};
    while (doc_.findNext()) {
        const std::string path = doc_.attribute("Path");
        if (!isSameOrBelow(path, folderPath))
            continue;
        CatalogRow row;
        row.type = doc_.attribute("Type");
        row.name = doc_.attribute("Name");
        row.path = path;
        candidates.emplace_back(doc_.currentPosition(), std::move(row));
    }
    // Each record is matched to its element as restoring it would be: a
    // deleted namesake of the folder outside it keeps its records.
    std::vector<int> within;
    // (no structured binding: clang 14 refuses one captured by the lambdas)
    for (const auto& candidate : candidates) {
        const int record = candidate.first;
        const CatalogRow& row = candidate.second;
        int element = 0;
        if (row.type == kFolderType) {
            element = folderAt(row.path, true,
                               [&](int found) { return isTrue(doc_.getAttribute(found, "Del")); });
        } else {
            folderAt(row.path, false, [&](int found) {
                element = childNamed(found, "File", row.name, true);
                return element != 0;
            });
        }
        if (element != 0 && isWithin(element, folder))
            within.push_back(record);
    }
    return within;
}

}  // namespace parvola
