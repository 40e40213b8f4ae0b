#include "platform/MessageService.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "platform/SlotGuard.h"
#include "platform/testing/ScriptedMessageService.h"

namespace {

using platform::MessageRequest;
using platform::MsgButton;
using platform::MsgIcon;
using platform::ScopedMessageService;
using platform::ScriptedMessageService;

struct SafestCase {
    std::vector<MsgButton> buttons;
    MsgButton expected;
};

void PrintTo(const SafestCase& c, std::ostream* os) {
    if (c.buttons.empty()) {
        *os << "none";
    }
    for (MsgButton button : c.buttons) {
        *os << static_cast<int>(button) << ' ';
    }
}

class SafestAnswerTest : public ::testing::TestWithParam<SafestCase> {};

// Without a person to ask, nothing may be overwritten or removed.
TEST_P(SafestAnswerTest, PrefersTheAnswerThatChangesNothing) {
    EXPECT_EQ(platform::SafestAnswer(GetParam().buttons), GetParam().expected);
    // The fallback service (no service installed) answers the same way.
    EXPECT_EQ(platform::Messages().Ask(MessageRequest{"q", "c", GetParam().buttons}),
              GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SafestAnswerTest,
    ::testing::Values(
        SafestCase{{MsgButton::Yes, MsgButton::No}, MsgButton::No},
        SafestCase{{MsgButton::Yes, MsgButton::No, MsgButton::Cancel}, MsgButton::Cancel},
        SafestCase{{MsgButton::Yes, MsgButton::YesToAll, MsgButton::NoToAll}, MsgButton::NoToAll},
        SafestCase{{MsgButton::Yes, MsgButton::YesToAll, MsgButton::No, MsgButton::NoToAll,
                    MsgButton::Cancel},
                   MsgButton::Cancel},
        SafestCase{{MsgButton::Ok}, MsgButton::Ok}, SafestCase{{MsgButton::Yes}, MsgButton::Yes},
        SafestCase{{}, MsgButton::None}));

TEST(MessageServiceTest, ScopedServicesNestAndRestore) {
    ScriptedMessageService outer;
    ScriptedMessageService inner;
    {
        ScopedMessageService useOuter(outer);
        {
            ScopedMessageService useInner(inner);
            platform::Beep();
        }
        platform::Beep();
        platform::Beep();
    }
    platform::Beep();  // the fallback: counted nowhere
    EXPECT_EQ(inner.Beeps(), 1);
    EXPECT_EQ(outer.Beeps(), 2);
}

TEST(MessageServiceTest, ShowMessageAndShowErrorPassEverythingOn) {
    ScriptedMessageService script;
    ScopedMessageService use(script);
    script.QueueAnswers({MsgButton::No});
    EXPECT_EQ(
        platform::ShowMessage("Remove?", "Removing confirmation", {MsgButton::Yes, MsgButton::No},
                              MsgIcon::Question, MsgButton::No),
        MsgButton::No);
    platform::ShowError("Cannot create temp directory.");
    const auto questions = script.Questions();
    ASSERT_EQ(questions.size(), 2u);
    EXPECT_EQ(questions[0].text, "Remove?");
    EXPECT_EQ(questions[0].caption, "Removing confirmation");
    EXPECT_EQ(questions[0].buttons, (std::vector<MsgButton>{MsgButton::Yes, MsgButton::No}));
    EXPECT_EQ(questions[0].icon, MsgIcon::Question);
    EXPECT_EQ(questions[0].defaultButton, MsgButton::No);
    EXPECT_EQ(questions[1].text, "Cannot create temp directory.");
    EXPECT_EQ(questions[1].caption, "Error");
    EXPECT_EQ(questions[1].buttons, std::vector<MsgButton>{MsgButton::Ok});
    EXPECT_EQ(questions[1].icon, MsgIcon::Error);
    EXPECT_EQ(script.Unanswered(), 1);  // the error box found no queued answer
}

TEST(ScriptedMessageServiceTest, AnswersInOrderThenFromTheResponder) {
    ScriptedMessageService script;
    script.QueueAnswers({MsgButton::Yes, MsgButton::YesToAll});
    const MessageRequest question{"q", "c", {MsgButton::Yes, MsgButton::No}};
    EXPECT_EQ(script.Ask(question), MsgButton::Yes);
    EXPECT_EQ(script.Ask(question), MsgButton::YesToAll);
    EXPECT_EQ(script.PendingAnswers(), 0u);
    EXPECT_EQ(script.Ask(question), MsgButton::No);  // unanswered: the safest answer
    EXPECT_EQ(script.Unanswered(), 1);
    script.SetResponder([](const MessageRequest& r) {
        return r.caption == "Save file" ? MsgButton::NoToAll : MsgButton::Ok;
    });
    EXPECT_EQ(script.Ask(MessageRequest{"t", "Save file", {}}), MsgButton::NoToAll);
    EXPECT_EQ(script.Unanswered(), 1);
    EXPECT_EQ(script.Questions().size(), 4u);
}

// A user-defined exception that does not derive from std::exception.
struct Custom {};

TEST(SlotGuardTest, ExceptionsAreShownAsErrorBoxesAndGoNoFurther) {
    ScriptedMessageService script;
    ScopedMessageService use(script);
    bool ran = false;
    EXPECT_TRUE(platform::GuardSlot([&] { ran = true; }));
    EXPECT_TRUE(ran);
    EXPECT_TRUE(script.Questions().empty());

    EXPECT_FALSE(platform::GuardSlot([] { throw std::runtime_error("Can't copy file!"); }));
    EXPECT_FALSE(platform::GuardSlot([] { throw Custom{}; }));
    EXPECT_FALSE(platform::GuardSlot([] { throw 42; }));
    const auto questions = script.Questions();
    ASSERT_EQ(questions.size(), 3u);
    EXPECT_EQ(questions[0].text, "Can't copy file!");
    EXPECT_EQ(questions[0].caption, "Error");
    EXPECT_EQ(questions[0].icon, MsgIcon::Error);
    EXPECT_EQ(questions[1].text, "Unknown error.");
    EXPECT_EQ(questions[2].text, "Unknown error.");
}

TEST(SlotGuardTest, NonAsciiMessagesArriveIntact) {
    ScriptedMessageService script;
    ScopedMessageService use(script);
    platform::GuardSlot([] { throw std::runtime_error("Datei \xC3\xA4 fehlt"); });
    ASSERT_EQ(script.Questions().size(), 1u);
    EXPECT_EQ(script.Questions()[0].text, QString::fromUtf8("Datei \xC3\xA4 fehlt"));
}

class ThrowingService final : public platform::MessageService {
  public:
    MsgButton Ask(const MessageRequest&) override { throw std::bad_alloc(); }
    void Beep() override {}
};

TEST(SlotGuardTest, AFailureToShowTheMessageDoesNotEscapeEither) {
    ThrowingService throwing;
    ScopedMessageService use(throwing);
    EXPECT_FALSE(platform::GuardSlot([] { throw std::runtime_error("boom"); }));
    platform::ReportSlotException(nullptr);
}

}  // namespace
