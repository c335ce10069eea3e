#include "shell/server_search.h"

#include <QCoreApplication>
#include <QPointer>

#include "platform/worker_threads.h"
#include "shell/ui_thread.h"

namespace parvola::ui {

ServerSearch::ServerSearch(StepShown onStep, Finished onFinished, QObject* parent)
    : QObject(parent), onStep_(std::move(onStep)), onFinished_(std::move(onFinished)) {}

ServerSearch::~ServerSearch() {
    cancel();
}

void ServerSearch::cancel() {
    if (cancelled_)
        *cancelled_ = true;
    cancelled_.reset();
    running_ = false;
}

void ServerSearch::start(const std::string& address, const FoundServers& given,
                         SettingsSource givenSource, bool tlsRequired) {
    cancel();
    auto flag = std::make_shared<std::atomic<bool>>(false);
    cancelled_ = flag;
    running_ = true;
    // The worker never touches this object: what it reports is posted to the
    // application and delivered only while this object lives and the search
    // is still the current one.
    QPointer<ServerSearch> self(this);
    QObject* app = QCoreApplication::instance();
    startWorker([=] {
        const DiscoveryOptions options = deploymentDiscoveryOptions(tlsRequired);
        const auto isCancelled = [flag] { return flag->load(); };
        const auto step = [=](const std::string& what) {
            postToUi(app, [=] {
                if (self && !flag->load() && self->onStep_)
                    self->onStep_(what);
            });
        };
        DiscoveryResult result =
            discoverServers(address, given, givenSource, options, isCancelled, step);
        postToUi(app, [=, result = std::move(result)] {
            if (!self || flag->load())
                return;
            self->running_ = false;
            self->cancelled_.reset();
            if (self->onFinished_)
                self->onFinished_(result);
        });
    });
}

}  // namespace parvola::ui
