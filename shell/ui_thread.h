#pragma once
// Handing work to the user-interface thread. Widgets are touched only there;
// workers post their changes, and a worker that must wait for the user (a
// notice, the rename dialog) blocks on a future that the user-interface
// thread fulfils when the window closes.
#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <functional>

namespace parvola::ui {

inline bool onUiThread() {
    auto* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

// Runs `work` on the user-interface thread later (or drops it when there is
// no application any more). `context` ends the request when it is destroyed.
inline void postToUi(QObject* context, std::function<void()> work) {
    QMetaObject::invokeMethod(context, std::move(work), Qt::QueuedConnection);
}

}  // namespace parvola::ui
