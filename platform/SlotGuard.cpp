#include "platform/SlotGuard.h"

#include <QString>

#include "platform/MessageService.h"

namespace platform {

namespace {

QString MessageOf(const std::exception_ptr& error) {
    if (!error) {
        return QStringLiteral("Unknown error.");
    }
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& exception) {
        return QString::fromUtf8(exception.what());
    } catch (...) {
        return QStringLiteral("Unknown error.");
    }
}

}  // namespace

void ReportSlotException(std::exception_ptr error) noexcept {
    try {
        ShowError(MessageOf(error));
    } catch (...) {
        // Nothing is left to report with; the event loop must go on regardless.
    }
}

}  // namespace platform
