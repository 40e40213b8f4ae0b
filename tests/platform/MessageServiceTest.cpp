#include "platform/MessageService.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "platform/SlotGuard.h"
#include "platform/testing/ScriptedMessageService.h"

namespace {

using platform::MessageRequest;
using platform::MsgIcon;
using platform::ScopedMessageService;
using platform::ScriptedMessageService;
using Buttons = std::vector<platform::MsgButton>;
using enum platform::MsgButton;

// Without a person to ask, nothing may be overwritten or removed.
TEST(MessageServiceTest, WithoutAServiceTheAnswerChangesNothing) {
    const std::pair<Buttons, platform::MsgButton> cases[] = {{{Yes, No}, No},
                                                             {{Yes, No, Cancel}, Cancel},
                                                             {{Yes, YesToAll, NoToAll}, NoToAll},
                                                             {{Ok}, Ok},
                                                             {{Yes}, Yes},
                                                             {{}, None}};
    for (const auto& [buttons, safest] : cases) {
        EXPECT_EQ(platform::SafestAnswer(buttons), safest);
        EXPECT_EQ(platform::Messages().Ask(MessageRequest{"q", "c", buttons}), safest);
    }
}

TEST(MessageServiceTest, ScriptedAnswersComeInOrderThenFromTheResponder) {
    ScriptedMessageService outer;
    ScriptedMessageService script;
    ScopedMessageService useOuter(outer);
    {
        ScopedMessageService use(script);
        script.QueueAnswers({No, YesToAll});
        EXPECT_EQ(platform::ShowMessage("Remove?", "Removing confirmation", {Yes, No},
                                        MsgIcon::Question, No),
                  No);
        EXPECT_EQ(platform::ShowMessage("q", "c", {Yes, YesToAll}, MsgIcon::None), YesToAll);
        platform::ShowError("Cannot create temp directory.");  // the queue is empty now
        script.SetResponder(
            [](const MessageRequest& r) { return r.caption == "Save" ? NoToAll : Ok; });
        EXPECT_EQ(platform::ShowMessage("t", "Save", {Yes, NoToAll}, MsgIcon::Warning), NoToAll);
        platform::Beep();
    }
    platform::Beep();  // the outer service is back
    EXPECT_EQ(script.Beeps(), 1);
    EXPECT_EQ(outer.Beeps(), 1);
    EXPECT_EQ(script.Unanswered(), 1);
    const std::vector<MessageRequest> asked = script.Questions();
    ASSERT_EQ(asked.size(), 4u);
    EXPECT_EQ(asked[0].text, "Remove?");
    EXPECT_EQ(asked[0].caption, "Removing confirmation");
    EXPECT_EQ(asked[0].buttons, (Buttons{Yes, No}));
    EXPECT_EQ(asked[0].icon, MsgIcon::Question);
    EXPECT_EQ(asked[0].defaultButton, No);
    EXPECT_EQ(asked[2].text, "Cannot create temp directory.");
    EXPECT_EQ(asked[2].caption, "Error");
    EXPECT_EQ(asked[2].buttons, Buttons{Ok});
    EXPECT_EQ(asked[2].icon, MsgIcon::Error);
}

class ThrowingService final : public platform::MessageService {
  public:
    platform::MsgButton Ask(const MessageRequest&) override { throw std::bad_alloc(); }
    void Beep() override {}
};

TEST(SlotGuardTest, ExceptionsBecomeErrorBoxesAndGoNoFurther) {
    ScriptedMessageService script;
    {
        ScopedMessageService use(script);
        bool ran = false;
        EXPECT_TRUE(platform::GuardSlot([&] { ran = true; }));
        EXPECT_TRUE(ran);
        EXPECT_FALSE(platform::GuardSlot([] { throw std::runtime_error("Datei \xC3\xA4 fehlt"); }));
        EXPECT_FALSE(platform::GuardSlot([] { throw 42; }));
    }
    const std::vector<MessageRequest> asked = script.Questions();
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[0].text, QString::fromUtf8("Datei \xC3\xA4 fehlt"));
    EXPECT_EQ(asked[0].caption, "Error");
    EXPECT_EQ(asked[0].icon, MsgIcon::Error);
    EXPECT_EQ(asked[1].text, "Unknown error.");
    // Not even a failure to show the message escapes.
    ThrowingService throwing;
    ScopedMessageService use(throwing);
    EXPECT_FALSE(platform::GuardSlot([] { throw std::runtime_error("boom"); }));
}

}  // namespace
