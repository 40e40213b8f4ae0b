#include "platform/UiWaker.h"

#include <QCoreApplication>

namespace platform {

UiWaker::UiWaker(std::function<void()> onWake) : onWake_(std::move(onWake)) {}

QEvent::Type UiWaker::WakeEventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

void UiWaker::Post() { QCoreApplication::postEvent(this, new QEvent(WakeEventType())); }

// The event itself is never read: it was allocated on the worker thread behind Qt's own
// synchronisation. What the wake-up announces travels through the owner's queue.
void UiWaker::customEvent(QEvent*) {
    if (onWake_) {
        onWake_();
    }
}

}  // namespace platform
