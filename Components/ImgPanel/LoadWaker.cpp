#include "Components/ImgPanel/LoadWaker.h"

#include <QCoreApplication>

LoadWaker::LoadWaker(std::function<void()> onWake) : onWake_(std::move(onWake)) {}

QEvent::Type LoadWaker::WakeEventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

void LoadWaker::Post() {
    QCoreApplication::postEvent(this, new QEvent(WakeEventType()));
}

// The event is not read: only wake-ups are ever posted here, and the event object was
// allocated on the loader thread behind Qt's own synchronisation, which the thread
// sanitizer cannot follow. What the wake-up announces travels through the LoadChannel.
void LoadWaker::customEvent(QEvent*) {
    if (onWake_) {
        onWake_();
    }
}
