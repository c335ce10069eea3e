#pragma once
// Tells when the catalog file of a shown account changed on disk, whoever
// changed it: a store that finished on its worker, a command of this window,
// a purge's clean-up, the command-line client in another process. The views
// refresh from it, so they never show what the catalog no longer holds.
#include <QFileSystemWatcher>
#include <QObject>
#include <QString>
#include <QTimer>
#include <map>
#include <optional>
#include <string>

#include "catalog/xml/text_file.h"

namespace parvola::ui {

class CatalogWatch : public QObject {
    Q_OBJECT
  public:
    explicit CatalogWatch(QObject* parent = nullptr);

    // Watches the catalog file of `user` (the account node's label) from now on.
    void watch(const std::string& user);
    // Looks at every watched file now (the watch also looks by itself, a
    // moment after the application directory changed).
    void look();

  signals:
    // On the user-interface thread, once per change seen.
    void catalogChanged(const QString& user);

  private:
    std::optional<FileStamp> stampNow(const std::string& user) const;

    QFileSystemWatcher watcher_;
    QTimer settle_;
    std::map<std::string, std::optional<FileStamp>> stamps_;
};

}  // namespace parvola::ui
