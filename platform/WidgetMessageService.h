#pragma once
// The message service of the running program: a modal QMessageBox over the active window,
// and QApplication::beep. Asked from another thread than the UI thread, it shows nothing
// (widgets belong to the UI thread) and gives the safest answer.

#include "platform/MessageService.h"

namespace platform {

class WidgetMessageService final : public MessageService {
  public:
    MsgButton Ask(const MessageRequest& request) override;
    void Beep() override;
};

}  // namespace platform
