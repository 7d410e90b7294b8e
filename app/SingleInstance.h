#pragma once

#include <memory>
#include <string>

#include <QLockFile>
#include <QObject>

#include "InstancePlace.h"

class QLocalServer;

namespace tally {

// One Tally per person. The first start holds a lock in a folder of the user's own and listens
// on a local socket there; a later start finds it, hands it a request ("show" for a second start,
// "quit" for tally --quit) and ends.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    enum class Request { show, quit };
    // What became of a request.
    enum class Answer { taken, noneRunning, noAnswer };

    // Takes the lock if no other Tally holds it; listens if it did.
    explicit SingleInstance(platform::InstancePlace place, QObject* parent = nullptr);
    ~SingleInstance() override;

    // Whether this is the only Tally: it holds the lock, or none could be had, which is no
    // reason not to run.
    bool isFirst() const { return !heldElsewhere_; }
    // What keeps a later start from finding this Tally, for the activity log; empty if nothing.
    const std::string& problem() const { return problem_; }

    // From a later start: hands the request to the running Tally and waits, a few seconds at
    // most, for it to be taken. At once when no Tally holds the lock. `pid` is the lock holder's,
    // when one holds it.
    static Answer send(const platform::InstancePlace& place, Request request, qint64* pid = nullptr);

signals:
    void requested(tally::SingleInstance::Request request);

private:
    std::unique_ptr<QLockFile> lock_;
    QLocalServer* server_ = nullptr;
    bool heldElsewhere_ = false;
    std::string problem_;
};

}  // namespace tally
