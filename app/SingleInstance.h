#pragma once

#include <memory>
#include <optional>

#include <QLockFile>
#include <QObject>
#include <QString>

class QLocalServer;

namespace tally {

// One Tally per person. The first start holds a lock in the user's runtime folder and listens
// on a local socket beside it; a later start finds it there, hands it a request ("show" for a
// second start, "quit" for tally --quit) and ends.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    enum class Request { show, quit };

    // The user's runtime folder: where the lock and the socket live.
    static QString defaultFolder();

    // Takes the lock if no other Tally holds it; listens if it did.
    explicit SingleInstance(const QString& folder, QObject* parent = nullptr);
    ~SingleInstance() override;

    // Whether this is the only Tally: it holds the lock, or none could be made (a runtime folder
    // it may not write to), which is no reason not to run.
    bool isFirst() const { return !held_; }
    // Whether the lock could be made at all; what a second start would find.
    bool guarded() const { return server_ != nullptr; }

    // From a later start: hands the request to the running Tally and waits, a few seconds at
    // most, for it to be taken. Whether it was.
    static bool send(const QString& folder, Request request);

signals:
    void requested(tally::SingleInstance::Request request);

private:
    QLockFile lock_;
    QLocalServer* server_ = nullptr;
    bool held_ = false;  // by another Tally
};

}  // namespace tally
