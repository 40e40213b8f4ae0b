#pragma once
// A message service for tests: answers come from a queue (or a responder function), and
// every question and beep is recorded so that a test can check what the user was asked.
// A question that finds the queue empty (and no responder) is answered with SafestAnswer,
// so an unexpected question never blocks a test; Questions() shows it.

#include <deque>
#include <functional>
#include <initializer_list>
#include <mutex>
#include <vector>

#include "platform/MessageService.h"

namespace platform {

class ScriptedMessageService final : public MessageService {
  public:
    using Responder = std::function<MsgButton(const MessageRequest&)>;

    void QueueAnswers(std::initializer_list<MsgButton> answers);
    // Answers every question that the queue does not answer.
    void SetResponder(Responder responder);

    MsgButton Ask(const MessageRequest& request) override;
    void Beep() override;

    std::vector<MessageRequest> Questions() const;
    int Beeps() const;
    size_t PendingAnswers() const;

  private:
    mutable std::mutex mutex_;
    std::deque<MsgButton> answers_;
    Responder responder_;
    std::vector<MessageRequest> questions_;
    int beeps_ = 0;
};

}  // namespace platform
