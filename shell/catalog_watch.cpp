#include "shell/catalog_watch.h"

#include "platform/app_dir.h"
#include "transfer/catalog_sync.h"

namespace parvola::ui {

CatalogWatch::CatalogWatch(QObject* parent) : QObject(parent) {
    // A catalog is saved through a temporary file renamed over it, which
    // changes the folder, not the old file: the folder is what is watched.
    watcher_.addPath(QString::fromStdString(applicationDirectory()));
    // One save changes the folder more than once (temporary file, rename,
    // lock file): the look comes once, after the events that are queued.
    settle_.setSingleShot(true);
    settle_.setInterval(0);
    connect(&settle_, &QTimer::timeout, this, &CatalogWatch::look);
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, &settle_,
            qOverload<>(&QTimer::start));
}

std::optional<FileStamp> CatalogWatch::stampNow(const std::string& user) const {
    FileStamp stamp;
    if (!stampOf(appPath(catalogFileName(user)), stamp))
        return std::nullopt;
    return stamp;
}

void CatalogWatch::watch(const std::string& user) {
    stamps_[user] = stampNow(user);
}

void CatalogWatch::look() {
    for (auto& [user, stamp] : stamps_) {
        const std::optional<FileStamp> now = stampNow(user);
        if (now == stamp)
            continue;
        stamp = now;
        emit catalogChanged(QString::fromStdString(user));
    }
}

}  // namespace parvola::ui
