#include "platform/CursorGuard.h"

#include <QCursor>
#include <QGuiApplication>

namespace platform {

namespace {

bool HaveGuiApplication() {
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
}

}  // namespace

CursorGuard::CursorGuard(Qt::CursorShape shape) {
    if (HaveGuiApplication()) {
        QGuiApplication::setOverrideCursor(QCursor(shape));
        active_ = true;
    }
}

CursorGuard::~CursorGuard() {
    Restore();
}

void CursorGuard::Restore() {
    if (active_ && HaveGuiApplication()) {
        QGuiApplication::restoreOverrideCursor();
    }
    active_ = false;
}

}  // namespace platform
