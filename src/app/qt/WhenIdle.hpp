#pragma once

#include <QApplication>
#include <QPointer>
#include <QTimer>

#include <functional>

namespace kalvotune::app {

/// Runs `work` from the event loop once no modal box is open, so input from outside the
/// window (a second start, the session bus, a drop) never runs a handler inside another
/// handler that waits for the user. Dropped when `context` is gone.
inline void RunWhenIdle(QObject* context, std::function<void()> work)
{
    constexpr int kRetryMs{200};
    QTimer::singleShot(0, context, [context = QPointer<QObject>{context}, work = std::move(work)]() mutable {
        if (!context)
            return;
        if (QApplication::activeModalWidget() != nullptr || QApplication::activePopupWidget() != nullptr) {
            QTimer::singleShot(kRetryMs, context.data(),
                [context, work = std::move(work)]() mutable { RunWhenIdle(context.data(), std::move(work)); });
            return;
        }
        work();
    });
}

} // namespace kalvotune::app
