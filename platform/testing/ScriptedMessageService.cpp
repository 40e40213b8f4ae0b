#include "platform/testing/ScriptedMessageService.h"

namespace platform {

void ScriptedMessageService::QueueAnswers(std::initializer_list<MsgButton> answers) {
    std::lock_guard lock(mutex_);
    answers_.insert(answers_.end(), answers);
}

void ScriptedMessageService::SetResponder(Responder responder) {
    std::lock_guard lock(mutex_);
    responder_ = std::move(responder);
}

MsgButton ScriptedMessageService::Ask(const MessageRequest& request) {
    Responder responder;
    {
        std::lock_guard lock(mutex_);
        questions_.push_back(request);
        if (!answers_.empty()) {
            const MsgButton answer = answers_.front();
            answers_.pop_front();
            return answer;
        }
        if (!responder_) {
            return SafestAnswer(request.buttons);
        }
        responder = responder_;
    }
    // Called unlocked: a responder may well ask again or look at the questions.
    return responder(request);
}

void ScriptedMessageService::Beep() {
    std::lock_guard lock(mutex_);
    ++beeps_;
}

std::vector<MessageRequest> ScriptedMessageService::Questions() const {
    std::lock_guard lock(mutex_);
    return questions_;
}

int ScriptedMessageService::Beeps() const {
    std::lock_guard lock(mutex_);
    return beeps_;
}

size_t ScriptedMessageService::PendingAnswers() const {
    std::lock_guard lock(mutex_);
    return answers_.size();
}

}  // namespace platform
