#include "SingleInstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>

namespace tally {

namespace {

constexpr int answerMs = 3000;  // a Tally that is just starting may take a moment to listen
// A later start's tally --quit may hold the lock for a moment to see whether anyone does.
constexpr int lockWaitMs = 250;
// Quitting takes a light's answer to "OFF" (a second at most) and a moment more.
constexpr int quitWaitMs = 5000;

QString lockFile(const platform::InstancePlace& place) {
    return QDir(QString::fromStdString(place.folder)).filePath(QStringLiteral("tally.lock"));
}

QByteArray wordFor(SingleInstance::Request request) {
    return request == SingleInstance::Request::quit ? QByteArrayLiteral("quit\n") : QByteArrayLiteral("show\n");
}

// Hands `word` to whoever listens as `name`; whether it was taken before the deadline.
bool hand(const QString& name, const QByteArray& word) {
    const QDeadlineTimer deadline(answerMs);
    QLocalSocket socket;
    for (;;) {
        socket.connectToServer(name);
        if (socket.waitForConnected(static_cast<int>(deadline.remainingTime()))) break;
        if (deadline.hasExpired()) return false;
        QThread::msleep(50);  // not listening yet
    }
    socket.write(word);
    if (!socket.waitForBytesWritten(static_cast<int>(deadline.remainingTime()))) return false;
    while (!socket.canReadLine())
        if (deadline.hasExpired() || !socket.waitForReadyRead(static_cast<int>(deadline.remainingTime())))
            return false;
    return socket.readLine(16) == "ok\n";
}

// A lock whose holder no longer runs is taken over, even where QLockFile cannot tell (see
// lockHolderRuns). False when it is held by a Tally that runs.
bool takeOverStale(QLockFile& lock) {
    qint64 pid = 0;
    QString program;
    if (lock.error() != QLockFile::LockFailedError || !lock.getLockInfo(&pid, nullptr, &program)) return false;
    if (platform::lockHolderRuns(pid, program.toStdString())) return false;
    return lock.removeStaleLockFile() && lock.tryLock(0);
}

}  // namespace

SingleInstance::SingleInstance(platform::InstancePlace place, QObject* parent) : QObject(parent) {
    if (place.folder.empty()) {
        problem_ = "cannot keep to one Tally per person: " + place.problem;
        return;
    }
    lock_ = std::make_unique<QLockFile>(lockFile(place));
    // A lock left by a Tally that died is taken over: QLockFile sees that its process is gone.
    lock_->setStaleLockTime(0);
    if (!lock_->tryLock(lockWaitMs) && !takeOverStale(*lock_)) {
        heldElsewhere_ = lock_->error() == QLockFile::LockFailedError;
        if (!heldElsewhere_)
            problem_ = "cannot make a lock in " + place.folder + ": a second Tally would not be noticed";
        return;
    }
    const QString name = QString::fromStdString(place.socket);
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    QLocalServer::removeServer(name);  // a socket left by a Tally that died
    if (!server_->listen(name)) {
        problem_ = "cannot listen on " + place.socket + " (" + server_->errorString().toStdString() +
                   "): a second start and tally --quit cannot reach this Tally";
        return;
    }
    connect(server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* peer = server_->nextPendingConnection()) {
            connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
            connect(peer, &QLocalSocket::readyRead, this, [this, peer] {
                if (!peer->canReadLine()) return;
                const QByteArray word = peer->readLine(16);
                const bool quit = word == wordFor(Request::quit);
                const bool known = quit || word == wordFor(Request::show);
                peer->write(known ? "ok\n" : "?\n");  // a word of some other version is not taken
                peer->flush();
                if (known) emit requested(quit ? Request::quit : Request::show);
            });
        }
    });
}

SingleInstance::~SingleInstance() = default;

SingleInstance::Answer SingleInstance::send(const platform::InstancePlace& place, Request request, qint64* pid) {
    // The lock says whether anyone runs, at once; released when this returns.
    QLockFile lock(lockFile(place));
    lock.setStaleLockTime(0);
    const bool mayLock = !place.folder.empty();
    if (mayLock && (lock.tryLock(0) || takeOverStale(lock))) return Answer::noneRunning;
    const bool held = mayLock && lock.error() == QLockFile::LockFailedError;
    if (held && pid) lock.getLockInfo(pid, nullptr, nullptr);
    if (place.socket.empty() || !hand(QString::fromStdString(place.socket), wordFor(request)))
        return held ? Answer::noAnswer : Answer::noneRunning;
    // Quitting ends once the light is off and the lock let go: a start right after
    // (tally --quit; tally) must not find the old Tally still there.
    if (request == Request::quit && held) {
        const QDeadlineTimer deadline(quitWaitMs);
        while (!lock.tryLock(0) && !deadline.hasExpired()) QThread::msleep(20);
    }
    return Answer::taken;
}

}  // namespace tally
