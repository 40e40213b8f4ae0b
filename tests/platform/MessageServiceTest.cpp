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

// The whole request reaches the service in force, and a scoped service gives way to the one
// before it when it ends.
TEST(MessageServiceTest, RequestsReachTheServiceInForceUntilItsScopeEnds) {
    ScriptedMessageService outer;
    ScriptedMessageService script;
    ScopedMessageService useOuter(outer);
    {
        ScopedMessageService use(script);
        script.QueueAnswers({No});
        EXPECT_EQ(platform::ShowMessage("Remove?", "Removing confirmation", {Yes, No},
                                        MsgIcon::Question, No),
                  No);
        platform::ShowError("Cannot create temp directory.");
        platform::Beep();
    }
    platform::Beep();
    EXPECT_EQ(script.Beeps(), 1);
    EXPECT_EQ(outer.Beeps(), 1);
    const std::vector<MessageRequest> asked = script.Questions();
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[0].text, "Remove?");
    EXPECT_EQ(asked[0].caption, "Removing confirmation");
    EXPECT_EQ(asked[0].buttons, (Buttons{Yes, No}));
    EXPECT_EQ(asked[0].icon, MsgIcon::Question);
    EXPECT_EQ(asked[0].defaultButton, No);
    EXPECT_EQ(asked[1].text, "Cannot create temp directory.");
    EXPECT_EQ(asked[1].caption, "Error");
    EXPECT_EQ(asked[1].buttons, Buttons{Ok});
    EXPECT_EQ(asked[1].icon, MsgIcon::Error);
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
