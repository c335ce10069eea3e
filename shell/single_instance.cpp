#include "shell/single_instance.h"

#include <unistd.h>

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>

#include "platform/app_dir.h"

namespace parvola::ui {

namespace {

// What a later start writes, and what the running client answers.
constexpr char kShowRequest[] = "show\n";
constexpr char kShown[] = "shown\n";

QString runtimeFolder() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    QDir().mkpath(folder);
    return folder;
}

}  // namespace

QString instanceKey() {
    const QByteArray identity = QByteArray::fromStdString(applicationDirectory()) + '\n' +
                                QByteArray::number(static_cast<qulonglong>(getuid()));
    const QByteArray digest = QCryptographicHash::hash(identity, QCryptographicHash::Sha256);
    return QStringLiteral("parvola-") + QString::fromLatin1(digest.toHex().left(24));
}

SingleInstance::SingleInstance(const QString& key, QObject* parent) : QObject(parent) {
    const QString base = runtimeFolder() + QLatin1Char('/') + key;
    socketPath_ = base + QStringLiteral(".sock");
    lock_ = std::make_unique<QLockFile>(base + QStringLiteral(".lock"));
    // The lock belongs to the running client until it ends; a lock left by a
    // client that died is found stale by its process id and taken over.
    lock_->setStaleLockTime(0);
    primary_ = lock_->tryLock(0);
    if (!primary_)
        return;
    // A socket left by a client that died would refuse the name.
    QLocalServer::removeServer(socketPath_);
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    server_.listen(socketPath_);
    connect(&server_, &QLocalServer::newConnection, this, &SingleInstance::answer);
}

SingleInstance::~SingleInstance() {
    server_.close();
}

void SingleInstance::answer() {
    while (QLocalSocket* peer = server_.nextPendingConnection()) {
        connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
        connect(peer, &QLocalSocket::readyRead, this, [this, peer] {
            if (!peer->canReadLine())
                return;
            const QByteArray line = peer->readLine();
            if (line == kShowRequest) {
                emit showRequested();
                peer->write(kShown);
                peer->flush();
            }
            peer->disconnectFromServer();
        });
    }
}

bool SingleInstance::askRunningToShow(int timeoutMs) const {
    QElapsedTimer clock;
    clock.start();
    QLocalSocket socket;
    // The running client takes its lock a moment before it listens: a start
    // that comes in between tries again until the time is up.
    for (;;) {
        socket.connectToServer(socketPath_);
        if (socket.waitForConnected(
                static_cast<int>(std::max<qint64>(timeoutMs - clock.elapsed(), 0))))
            break;
        if (clock.elapsed() >= timeoutMs)
            return false;
        QThread::msleep(20);
    }
    socket.write(kShowRequest);
    if (!socket.waitForBytesWritten(timeoutMs))
        return false;
    while (!socket.canReadLine()) {
        const qint64 left = timeoutMs - clock.elapsed();
        if (left <= 0 || !socket.waitForReadyRead(static_cast<int>(left)))
            return false;
    }
    return socket.readLine() == kShown;
}

}  // namespace parvola::ui
