#include "shell/ui/SingleInstance.h"

#include <unistd.h>

#include <QDir>
#include <QLocalSocket>
#include <QStandardPaths>

namespace mx40d::ui {

SingleInstance::SingleInstance(const QString& key, QObject* parent) : QObject(parent) {
    name_ = QStringLiteral("%1-%2").arg(key).arg(static_cast<qulonglong>(::getuid()));
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty()) dir = QDir::tempPath();
    lockPath_ = QDir(dir).filePath(name_ + QStringLiteral(".lock"));
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::askRunningToRaise() {
    QLocalSocket socket;
    socket.connectToServer(name_);
    if (!socket.waitForConnected(1000)) return false;
    socket.write("raise\n");
    socket.waitForBytesWritten(1000);
    socket.disconnectFromServer();
    return true;
}

bool SingleInstance::claim() {
    if (askRunningToRaise()) return false;
    // Two starts at once: one gets the lock and listens, the other then finds it.
    QLockFile lock(lockPath_);
    lock.setStaleLockTime(10000);
    if (!lock.tryLock(10000)) return !askRunningToRaise();
    if (askRunningToRaise()) return false;
    QLocalServer::removeServer(name_);  // a socket left by a process that died
    server_ = std::make_unique<QLocalServer>();
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(name_)) return true;  // run without the guard rather than not at all
    connect(server_.get(), &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* s = server_->nextPendingConnection()) {
            connect(s, &QLocalSocket::readyRead, this, [this, s] {
                if (s->readAll().contains("raise")) emit raiseRequested();
            });
            connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
        }
    });
    return true;
}

}  // namespace mx40d::ui
