#include <gtest/gtest.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cerrno>
#include <cstring>
#include <map>
#include <tuple>

#include "app/Saving/PackagePlan.h"
#include "app/Saving/SavePackage.h"
#include "platform/DateTimeFormat.h"
#include "platform/testing/ScriptedMessageService.h"
#include "tests/app/QtPrinters.h"
#include "tests/app/TestApp.h"

using platform::CopyMode;
using platform::CopyResult;
using platform::CopyStage;
using platform::MsgButton;

namespace {

QStringList Entries(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

// Three pictures with distinct contents and extensions, an empty destination, and a
// scripted message service that answers every box, the overwrite question included.
class SaveTest : public ::testing::Test {
  protected:
    SaveTest() {
        QDir(dir_.path()).mkpath("src");
        QDir(dir_.path()).mkpath("dest");
        for (const char* name : {"p1.jpg", "p2.JPG", "p3.jpeg"}) {
            series_.append(dir_.path() + "/src/" + name);
            WriteFileBytes(series_.back(), QByteArray(1000, name[1]) + name);
            original_[series_.back()] = FileBytes(series_.back());
        }
        entries_.destination = Dest();
        entries_.prefix = "img";
        entries_.digits = 3;
        entries_.firstNumber = "1";
        services_.askOverwrite = [this](const QString& text, const QString& caption,
                                        const QString&) {
            progress_.append("ask");
            return static_cast<int>(platform::Messages().Ask({text, caption}));
        };
        services_.fileSystemOf = [](const QString&) { return QStringLiteral("/media/stick"); };
        services_.progress.show = [this] { progress_.append("show"); };
        services_.progress.position = [this](int p) { progress_.append(QString::number(p)); };
        services_.progress.hide = [this] { progress_.append("hide"); };
        services_.progress.restore = [this] { progress_.append("restore"); };
    }

    QString Dest() const { return dir_.path() + "/dest/"; }
    TSaveOutcome Save() { return SavePackage(series_, entries_, services_); }

    // The destination holds exactly these names, each a complete copy of its picture
    // (by index in series_), and the pictures themselves are as they were.
    void ExpectCopies(const std::map<QString, int>& expected) {
        QStringList names;
        for (const auto& [name, picture] : expected) {
            names.append(name);
            EXPECT_EQ(FileBytes(Dest() + name), original_[series_[picture]]) << name.toStdString();
        }
        EXPECT_EQ(Entries(Dest()), names);
        for (const auto& [path, bytes] : original_) {
            EXPECT_EQ(FileBytes(path), bytes) << "source changed: " << path.toStdString();
        }
    }

    QTemporaryDir dir_;
    QStringList series_;
    std::map<QString, QByteArray> original_;
    TSaveEntries entries_;
    TSaveServices services_;
    QStringList progress_;
    platform::ScriptedMessageService messages_;
    platform::ScopedMessageService scope_{messages_};
};

TEST(SaveNames, CountersJoinsAndTimeStamp) {
    EXPECT_EQ(PackageFileName("img", 7, 3, "_a", ".JPG"), "img007_a.JPG");
    EXPECT_EQ(PackageFileName("img", 999, 2, "", ".jpg"), "img999.jpg");
    EXPECT_EQ(PackageFileName("", 1234567, 6, "", ".jpg"), "1234567.jpg");
    EXPECT_EQ(FirstCounter("abc"), 1);
    EXPECT_EQ(LongestExtension({"/a/x.jpg", "/a.b/y.jpeg", "/c/z"}), ".jpeg");
    const char* joins[][3] = {{"/d/", "", "/d/"},         {"/d", "/sub", "/d/sub/"},
                              {"/d/", "/sub", "/d/sub/"}, {"/d", "a/b", "/d/a/b/"},
                              {"/", "/sub", "/sub/"},     {"/", "", "/"}};
    for (const auto& join : joins) {
        EXPECT_EQ(TargetFolder(join[0], join[1]), join[2]) << join[0] << " + " << join[1];
    }
    // Whole names only: a folder whose name merely begins with another's is not inside it.
    const std::tuple<const char*, const char*, bool> below[] = {
        {"/a/b", "/a/b", true},   {"/a/b/c", "/a/b", true},   {"/a/b/c", "/a/b/", true},
        {"/a/bc", "/a/b", false}, {"/a/bc/d", "/a/b", false}, {"/a", "/a/b", false}};
    for (const auto& [path, folder, inside] : below) {
        EXPECT_EQ(IsAtOrBelow(path, folder), inside) << path << " in " << folder;
    }
    platform::ScopedDisplayLocale german(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(TimeStampPath(QDateTime(QDate(2024, 1, 5), QTime(10, 23, 45))), "05-01-24/10-23-45");
}

// The order of the copies over made-up file identities (source, target; 0: a new name): a
// picture waits for the pictures its target holds, never for itself, and pictures waiting
// for each other in a cycle go after the free ones, the first of the cycle first.
TEST(PackagePlan, CopiesWaitForTheReadersOfTheirTargetButNeverForThemselves) {
    const auto order = [](std::vector<std::pair<ino_t, ino_t>> pictures) {
        std::vector<TPlannedPicture> plan(pictures.size());
        for (size_t i = 0; i < pictures.size(); ++i) {
            plan[i].sourceId = TFileId{1, pictures[i].first};
            if (pictures[i].second != 0) {
                plan[i].targetId = TFileId{1, pictures[i].second};
            }
        }
        return CopyOrder(plan);
    };
    using Order = std::vector<int>;
    EXPECT_EQ(order({{1, 1}, {2, 0}}), (Order{0, 1}));
    EXPECT_EQ(order({{1, 2}, {2, 0}}), (Order{1, 0}));
    EXPECT_EQ(order({{1, 2}, {2, 3}, {3, 0}}), (Order{2, 1, 0}));
    EXPECT_EQ(order({{1, 2}, {2, 1}, {3, 0}}), (Order{2, 0, 1}));
}

TEST_F(SaveTest, BeginTwoFromSevenNumbersInSeriesOrder) {
    entries_.beginFrom = "2";
    entries_.firstNumber = "7";
    EXPECT_FALSE(Save().stopped);
    ExpectCopies({{"img007.JPG", 1}, {"img008.jpeg", 2}, {"img009.jpg", 0}});
    EXPECT_EQ(progress_, QStringList({"show", "33", "66", "100", "hide"}));
    EXPECT_TRUE(messages_.Questions().empty());

    // A picture with a temporary copy is read from the copy.
    const QString copy = dir_.path() + "/temporary-copy";
    WriteFileBytes(copy, "temporary copy");
    services_.readablePath = [&](const QString& path) { return path == series_[1] ? copy : path; };
    entries_.additionalPath = "again";
    QDir(Dest()).mkpath("again");
    EXPECT_FALSE(Save().stopped);
    EXPECT_EQ(FileBytes(Dest() + "again/img007.JPG"), "temporary copy");
}

enum class Kind { Stop, Ask, Other };

struct ErrorRow {
    int error;
    CopyStage stage;
    const char* text;  // "%t": the target, "%s": the source, "%d": the destination field
    Kind kind;
};

class ErrorTable : public SaveTest, public ::testing::WithParamInterface<ErrorRow> {};

// Picture 2 fails with the row's errno; pictures 1 and 3 are really copied. The message
// names the file at fault, and the end says which picture is missing.
TEST_P(ErrorTable, MessageAndWhatFollows) {
    const ErrorRow& row = GetParam();
    const QString failing = Dest() + "img002.JPG";
    services_.copy = [&](const QString& source, const QString& target, CopyMode mode) {
        return target == failing ? CopyResult{row.error, row.stage}
                                 : platform::CopyFile(source, target, mode);
    };
    for (MsgButton answer : {MsgButton::No, MsgButton::Yes}) {
        QFile::remove(Dest() + "img001.jpg");
        QFile::remove(Dest() + "img003.jpeg");
        platform::ScriptedMessageService messages;
        platform::ScopedMessageService scope(messages);
        messages.QueueAnswers({answer});
        const TSaveOutcome outcome = Save();

        ASSERT_EQ(messages.Questions().size(), 2u);
        const platform::MessageRequest box = messages.Questions()[0];
        EXPECT_EQ(box.text, QString(row.text)
                                .replace("%t", failing)
                                .replace("%s", series_[1])
                                .replace("%d", Dest()));
        EXPECT_EQ(box.caption, row.kind == Kind::Ask ? "Continue save ?" : "Error");
        const platform::MsgIcon icons[] = {
            platform::MsgIcon::Warning, platform::MsgIcon::Information, platform::MsgIcon::Error};
        EXPECT_EQ(box.icon, icons[static_cast<int>(row.kind)]);
        EXPECT_EQ(box.buttons.size(), row.kind == Kind::Ask ? 2u : 1u);
        const bool stops =
            row.kind == Kind::Stop || (row.kind == Kind::Ask && answer == MsgButton::No);
        EXPECT_EQ(outcome.stopped, stops);
        EXPECT_EQ(progress_.last(), "hide");
        const QString saved = stops ? "1 of 3" : "2 of 3";
        EXPECT_EQ(messages.Questions()[1].text,
                  saved + " pictures were saved in '" + Dest().chopped(1) + "'.\nNot saved:\n" +
                      series_[1] + (stops ? "\n" + series_[2] : QString()));
        if (stops) {
            ExpectCopies({{"img001.jpg", 0}});
        } else {
            ExpectCopies({{"img001.jpg", 0}, {"img003.jpeg", 2}});
        }
    }
}

// One row for each way a message is made (which file it names, or the destination field, or
// the file system) and for each way the save goes on, and one for each errno that falls
// into a message of its own rather than the one its neighbours share.
INSTANTIATE_TEST_SUITE_P(
    Rows, ErrorTable,
    ::testing::Values(
        ErrorRow{ENOENT, CopyStage::OpenSource, "%s  The system cannot find the file specified",
                 Kind::Ask},
        ErrorRow{ENOENT, CopyStage::CreateTarget, "'%d'  Path Not Found !", Kind::Stop},
        ErrorRow{EACCES, CopyStage::CreateTarget, "%t  Access Denied !", Kind::Stop},
        ErrorRow{EACCES, CopyStage::OpenSource, "%s  Access Denied !", Kind::Stop},
        ErrorRow{ENOMEM, CopyStage::Read,
                 "%s  Not enough storage is available to complete this operation.", Kind::Stop},
        ErrorRow{ENODEV, CopyStage::CreateTarget, "%t  The system cannot find the drive specified.",
                 Kind::Stop},
        ErrorRow{EXDEV, CopyStage::Rename,
                 "%t  The system cannot move the file to a different disk drive.", Kind::Ask},
        ErrorRow{EROFS, CopyStage::CreateTarget, "/media/stick The media is write protected.",
                 Kind::Stop},
        ErrorRow{ENOMEDIUM, CopyStage::OpenSource, "%s  The device is not ready.", Kind::Stop},
        ErrorRow{ENOSPC, CopyStage::Write, "/media/stick The disk is full.", Kind::Stop},
        ErrorRow{EHOSTUNREACH, CopyStage::Write, "%t  The remote computer is not available.",
                 Kind::Stop},
        ErrorRow{ENETUNREACH, CopyStage::CreateTarget, "%t  The network path was not found.",
                 Kind::Stop},
        ErrorRow{ETIMEDOUT, CopyStage::Write, "%t  The network is busy.", Kind::Stop},
        ErrorRow{ESTALE, CopyStage::Read,
                 "%s  The specified network resource or device is no longer available.",
                 Kind::Stop},
        ErrorRow{EKEYREJECTED, CopyStage::CreateTarget, "%t  Network access is denied.",
                 Kind::Stop},
        ErrorRow{EIO, CopyStage::Read, "Can't copy file!\n%s  Input/output error", Kind::Other},
        ErrorRow{EIO, CopyStage::Write, "Can't copy file!\n%t  Input/output error", Kind::Other},
        ErrorRow{EEXIST, CopyStage::Rename, "Can't copy file!\n%t  File exists", Kind::Other},
        ErrorRow{EISDIR, CopyStage::OpenSource, "Can't copy file!\n%s  Is a directory",
                 Kind::Other},
        ErrorRow{platform::kNotRegularFile, CopyStage::OpenSource,
                 "Can't copy file!\n%s  Not a regular file", Kind::Other}),
    [](const auto& info) {
        const int error = info.param.error;
        return std::string(error < 0 ? "NotRegular" : strerrorname_np(error)) +
               std::to_string(static_cast<int>(info.param.stage));
    });

TEST_F(SaveTest, MissingSourceAsksAndGoesOnWhenTold) {
    ASSERT_TRUE(QFile::remove(series_[1]));
    original_.erase(series_[1]);
    messages_.QueueAnswers({MsgButton::Yes});
    EXPECT_EQ(Save().notSaved, QStringList({series_[1]}));
    EXPECT_EQ(messages_.Questions().at(0).caption, "Continue save ?");
    ExpectCopies({{"img001.jpg", 0}, {"img003.jpeg", 2}});
    // The progress box, which stays on top, is out of the way while a box is up.
    EXPECT_EQ(progress_, QStringList({"show", "33", "hide", "restore", "66", "100", "hide"}));
}

// A missing folder, and a regular file where a folder should be (ENOTDIR, even for root).
TEST_F(SaveTest, UnusableFolderStopsAtOnce) {
    WriteFileBytes(Dest() + "plain", "not a folder");
    for (const char* additional : {"not/made", "plain/sub"}) {
        entries_.additionalPath = additional;
        progress_.clear();
        EXPECT_TRUE(Save().stopped);
        EXPECT_EQ(messages_.Questions().rbegin()[1].text, "'" + Dest() + "'  Path Not Found !");
        EXPECT_EQ(progress_, QStringList({"show", "hide"}));
    }
    EXPECT_EQ(FileBytes(Dest() + "plain"), "not a folder");
    EXPECT_EQ(Entries(Dest()), QStringList({"plain"}));
}

class OverwriteTest : public SaveTest {
  protected:
    OverwriteTest() {
        for (const char* name : {"img001.jpg", "img002.JPG", "img003.jpeg"}) {
            WriteFileBytes(Dest() + name, QByteArray("old ") + name);
        }
    }
};

TEST_F(OverwriteTest, AnswersRememberedForTheSave) {
    const struct {
        std::initializer_list<MsgButton> answers;
        int asked;
        bool replaced[3];
    } cases[] = {
        {{MsgButton::YesToAll}, 1, {true, true, true}},
        {{MsgButton::NoToAll}, 1, {false, false, false}},
        {{MsgButton::No, MsgButton::YesToAll}, 2, {false, true, true}},
        {{MsgButton::Yes, MsgButton::No, MsgButton::Yes}, 3, {true, false, true}},
    };
    const QStringList names{"img001.jpg", "img002.JPG", "img003.jpeg"};
    for (const auto& c : cases) {
        platform::ScriptedMessageService messages;
        platform::ScopedMessageService scope(messages);
        messages.QueueAnswers(c.answers);
        for (const QString& name : names) {
            WriteFileBytes(Dest() + name, "old " + name.toUtf8());
        }
        EXPECT_FALSE(Save().stopped);
        const bool all = c.replaced[0] && c.replaced[1] && c.replaced[2];
        EXPECT_EQ(static_cast<int>(messages.Questions().size()), c.asked + (all ? 0 : 1));
        EXPECT_EQ(messages.Questions()[0].text,
                  Dest() + "img001.jpg already exist. Do you want to replace them?");
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(FileBytes(Dest() + names[i]),
                      c.replaced[i] ? original_[series_[i]] : "old " + names[i].toUtf8());
        }
        EXPECT_EQ(Entries(Dest()), names) << "no temporary file left behind";
    }
}

TEST_F(OverwriteTest, CancelStopsAndHidesTheProgress) {
    QFile::remove(Dest() + "img001.jpg");
    messages_.QueueAnswers({MsgButton::Cancel});
    EXPECT_TRUE(Save().stopped);
    ASSERT_EQ(messages_.Questions().size(), 2u);
    EXPECT_TRUE(messages_.Questions()[1].text.startsWith("1 of 3 pictures were saved"));
    EXPECT_EQ(FileBytes(Dest() + "img001.jpg"), original_[series_[0]]) << "earlier copy stays";
    EXPECT_EQ(FileBytes(Dest() + "img002.JPG"), "old img002.JPG");
    EXPECT_EQ(progress_, QStringList({"show", "33", "hide", "ask"}));
}

TEST_F(OverwriteTest, FailedReplacementKeepsTheTarget) {
    messages_.QueueAnswers({MsgButton::YesToAll});
    services_.copy = [](const QString& source, const QString& target, CopyMode mode) {
        return mode == CopyMode::Replace && target.endsWith("img002.JPG")
                   ? CopyResult{ENOSPC, CopyStage::Write}
                   : platform::CopyFile(source, target, mode);
    };
    EXPECT_TRUE(Save().stopped);
    EXPECT_EQ(messages_.Questions().rbegin()[1].text, "/media/stick The disk is full.");
    EXPECT_EQ(FileBytes(Dest() + "img002.JPG"), "old img002.JPG");
}

}  // namespace
