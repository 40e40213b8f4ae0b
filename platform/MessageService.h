#pragma once
// Every message box and beep of the program goes through one service. The program
// installs the QMessageBox-backed one at start-up; tests install a scripted one that
// answers from a queue and records each question, so no test ever waits for a person.
// Questions are asked on the UI thread only.

#include <QString>
#include <vector>

namespace platform {

// The answers keep the numbers of the dialogs' modal results (Yes 6, No 7, ...).
enum class MsgButton : int {
    None = 0,
    Ok = 1,
    Cancel = 2,
    Yes = 6,
    No = 7,
    NoToAll = 9,
    YesToAll = 10,
};

enum class MsgIcon { None, Information, Question, Warning, Error };

struct MessageRequest {
    QString text;
    QString caption;
    std::vector<MsgButton> buttons{MsgButton::Ok};
    MsgIcon icon = MsgIcon::None;
    MsgButton defaultButton = MsgButton::None;  // None: the box's own choice
};

class MessageService {
  public:
    virtual ~MessageService() = default;
    // Shows the request and returns the button chosen. A box closed without a button
    // gives SafestAnswer(request.buttons).
    virtual MsgButton Ask(const MessageRequest& request) = 0;
    virtual void Beep() = 0;
};

// The installed service. Without one, a fallback logs each message and answers with
// SafestAnswer, so that a program without a screen never overwrites or deletes on its own.
MessageService& Messages();
// Installs service (null: the fallback) and returns the one it replaces. The caller keeps
// ownership and keeps the service alive while it is installed.
MessageService* SetMessageService(MessageService* service);

// Installs a service for the scope's lifetime and puts the previous one back.
class ScopedMessageService {
  public:
    explicit ScopedMessageService(MessageService& service);
    ~ScopedMessageService();
    ScopedMessageService(const ScopedMessageService&) = delete;
    ScopedMessageService& operator=(const ScopedMessageService&) = delete;

  private:
    MessageService* previous_;
};

// The answer that changes nothing: Cancel, else No, else No to All, else OK, else the
// first button offered.
MsgButton SafestAnswer(const std::vector<MsgButton>& buttons);

MsgButton ShowMessage(const QString& text, const QString& caption, std::vector<MsgButton> buttons,
                      MsgIcon icon, MsgButton defaultButton = MsgButton::None);
// An error report: caption "Error", the error icon and one OK button.
void ShowError(const QString& text);
void Beep();

}  // namespace platform
