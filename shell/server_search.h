#pragma once
// Runs the search for a mailbox's servers on a worker thread, so that the
// window stays responsive through the search's network time limits, and
// hands each step and the result back on the user-interface thread. A
// search is cancelled by cancel(), by a new start() or by the object's end;
// a cancelled search reports nothing more.
#include <QObject>
#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "setup/server_discovery.h"

namespace parvola::ui {

class ServerSearch : public QObject {
  public:
    using StepShown = std::function<void(const std::string& step)>;
    using Finished = std::function<void(const DiscoveryResult& result)>;

    ServerSearch(StepShown onStep, Finished onFinished, QObject* parent = nullptr);
    ~ServerSearch() override;

    // `given` is what the user typed, or the account's remembered servers
    // (`givenSource`); the installation's provider table and autoconfiguration
    // base are used.
    void start(const std::string& address, const FoundServers& given, SettingsSource givenSource,
               bool tlsRequired);
    void cancel();
    bool running() const { return running_; }

  private:
    StepShown onStep_;
    Finished onFinished_;
    std::shared_ptr<std::atomic<bool>> cancelled_;
    bool running_ = false;
};

}  // namespace parvola::ui
