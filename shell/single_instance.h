#pragma once
// One running desktop client per application directory and user. The first
// start holds a lock file and listens on a local socket beside it; a later
// start finds the lock taken, asks the running client to show its window and
// ends, so the same store is never open twice with the same account logged in.
#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>
#include <memory>

namespace parvola::ui {

// The name both starts agree on: the application directory and the user id,
// hashed, so that it is short enough for a socket path.
QString instanceKey();

class SingleInstance : public QObject {
    Q_OBJECT
  public:
    // Takes the lock of `key` when it is free and starts listening. The lock
    // file and the socket live in the user's runtime folder.
    explicit SingleInstance(const QString& key, QObject* parent = nullptr);
    ~SingleInstance() override;

    // True for the start that holds the lock.
    bool isPrimary() const { return primary_; }
    // From a later start: asks the running client to show its window and
    // waits (at most `timeoutMs`) for its answer. True when it answered.
    // Needs no event loop, so it may run on any thread.
    bool askRunningToShow(int timeoutMs = 5000) const;

    QString serverName() const { return socketPath_; }

  signals:
    // A later start asked for the window (on the user-interface thread).
    void showRequested();

  private:
    void answer();

    QString socketPath_;
    std::unique_ptr<QLockFile> lock_;
    QLocalServer server_;
    bool primary_ = false;
};

}  // namespace parvola::ui
