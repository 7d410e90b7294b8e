#include "SingleInstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>

#include "Desktop.h"

namespace tally {

namespace {

constexpr int answerMs = 3000;  // a Tally that is just starting may take a moment to listen

QString socketPath(const QString& folder) {
    return QString::fromStdString(platform::Desktop::localSocketName(folder.toStdString()));
}

QByteArray wordFor(SingleInstance::Request request) {
    return request == SingleInstance::Request::quit ? QByteArrayLiteral("quit\n") : QByteArrayLiteral("show\n");
}

}  // namespace

QString SingleInstance::defaultFolder() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty()) folder = QDir::tempPath();
    return folder;
}

SingleInstance::SingleInstance(const QString& folder, QObject* parent)
    : QObject(parent), lock_(QDir(folder).filePath(QStringLiteral("tally.lock"))) {
    // A lock left by a Tally that died is taken over: QLockFile sees that its process is gone.
    lock_.setStaleLockTime(0);
    if (!lock_.tryLock(0)) {
        held_ = lock_.error() == QLockFile::LockFailedError;
        return;
    }
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    QLocalServer::removeServer(socketPath(folder));  // a socket left by a Tally that died
    server_->listen(socketPath(folder));
    connect(server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* peer = server_->nextPendingConnection()) {
            connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
            connect(peer, &QLocalSocket::readyRead, this, [this, peer] {
                if (!peer->canReadLine()) return;
                const QByteArray word = peer->readLine(16);
                peer->write("ok\n");
                peer->flush();
                if (word == wordFor(Request::quit)) emit requested(Request::quit);
                else if (word == wordFor(Request::show)) emit requested(Request::show);
            });
        }
    });
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::send(const QString& folder, Request request) {
    const QDeadlineTimer deadline(answerMs);
    QLocalSocket socket;
    for (;;) {
        socket.connectToServer(socketPath(folder));
        if (socket.waitForConnected(static_cast<int>(deadline.remainingTime()))) break;
        if (deadline.hasExpired()) return false;
        QThread::msleep(50);  // not listening yet
    }
    socket.write(wordFor(request));
    if (!socket.waitForBytesWritten(static_cast<int>(deadline.remainingTime()))) return false;
    while (!socket.canReadLine())
        if (deadline.hasExpired() || !socket.waitForReadyRead(static_cast<int>(deadline.remainingTime())))
            return false;
    return socket.readLine(16) == "ok\n";
}

}  // namespace tally
