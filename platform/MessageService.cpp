#include "platform/MessageService.h"

#include <QDebug>
#include <algorithm>
#include <atomic>

namespace platform {

namespace {

class FallbackMessageService final : public MessageService {
  public:
    MsgButton Ask(const MessageRequest& request) override {
        qWarning().noquote() << "message without a message service:" << request.caption << "-"
                             << request.text;
        return SafestAnswer(request.buttons);
    }
    void Beep() override {}
};

FallbackMessageService& Fallback() {
    static FallbackMessageService fallback;
    return fallback;
}

std::atomic<MessageService*>& Installed() {
    static std::atomic<MessageService*> installed{nullptr};
    return installed;
}

bool Offers(const std::vector<MsgButton>& buttons, MsgButton button) {
    return std::find(buttons.begin(), buttons.end(), button) != buttons.end();
}

}  // namespace

MessageService& Messages() {
    MessageService* service = Installed().load();
    return service != nullptr ? *service : Fallback();
}

MessageService* SetMessageService(MessageService* service) {
    return Installed().exchange(service);
}

ScopedMessageService::ScopedMessageService(MessageService& service)
    : previous_(SetMessageService(&service)) {}

ScopedMessageService::~ScopedMessageService() {
    SetMessageService(previous_);
}

MsgButton SafestAnswer(const std::vector<MsgButton>& buttons) {
    for (MsgButton safe : {MsgButton::Cancel, MsgButton::No, MsgButton::NoToAll, MsgButton::Ok}) {
        if (Offers(buttons, safe)) {
            return safe;
        }
    }
    return buttons.empty() ? MsgButton::None : buttons.front();
}

MsgButton ShowMessage(const QString& text, const QString& caption, std::vector<MsgButton> buttons,
                      MsgIcon icon, MsgButton defaultButton) {
    return Messages().Ask(MessageRequest{text, caption, std::move(buttons), icon, defaultButton});
}

void ShowError(const QString& text) {
    ShowMessage(text, QStringLiteral("Error"), {MsgButton::Ok}, MsgIcon::Error);
}

void Beep() {
    Messages().Beep();
}

}  // namespace platform
