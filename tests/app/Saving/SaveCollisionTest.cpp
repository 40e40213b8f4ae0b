// Saving a folder's pictures into that folder under new numbers: targets that are other
// pictures' sources, or their own files where they are read through temporary copies.
// Whatever the answers, faults, kills or power losses, no picture may be lost from the
// folder and no file may be left half-written.

#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <random>
#include <vector>

#include "app/Saving/SavePackage.h"
#include "app/Series/TempCopies.h"
#include "platform/ReplacementFile.h"
#include "platform/testing/ScriptedMessageService.h"
#include "tests/app/QtPrinters.h"
#include "tests/app/TestApp.h"

using platform::CopyMode;
using platform::CopyResult;
using platform::MsgButton;

namespace {

std::string Text(const QString& text) {
    return text.toStdString();
}

QString PictureName(int n) {
    return QStringLiteral("IMG_%1.JPG").arg(n, 4, 10, QChar('0'));
}

QByteArray PictureBytes(int n, int kib) {
    return QByteArray("picture ") + QByteArray::number(n) + QByteArray(kib * 1024, char('a' + n));
}

// The pictures of series (digits, in series order) written into folder; picture linked is
// a link there to its file in a folder below.
QStringList MakePictures(const QString& folder, const QString& series, int kib, int linked = 0) {
    QStringList paths;
    for (QChar digit : series) {
        const int n = digit.digitValue();
        paths.append(folder + '/' + PictureName(n));
        const QString real = n == linked ? folder + "/linked/" + PictureName(n) : paths.back();
        if (n == linked) {
            QDir(folder).mkdir("linked");
            QFile::link(real, paths.back());
        }
        QFile file(real);
        if (file.open(QIODevice::WriteOnly)) {
            file.write(PictureBytes(n, kib));
        }
    }
    return paths;
}

// The picture (1 to 9) that the file at path holds; 0 for none.
int PictureIn(const QString& path, int kib) {
    const QByteArray bytes = FileBytes(path);
    for (int n = 1; n <= 9; ++n) {
        if (bytes == PictureBytes(n, kib)) {
            return n;
        }
    }
    return 0;
}

// Every file in folder as "name=picture": "IMG_0003.JPG" holding picture 1 is "3=1", a
// copy "IMG_0001~1.JPG" holding picture 1 is "1~1=1"; "?" is a file that is no complete
// picture, and hidden files are listed as they are.
QString Describe(const QString& folder, int kib) {
    QStringList parts;
    for (const QString& name : QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name)) {
        const int n = PictureIn(folder + '/' + name, kib);
        const QString picture = n != 0 ? QString::number(n) : QStringLiteral("?");
        QString shortName = name;
        if (name.startsWith("IMG_")) {
            shortName = QString::number(name.mid(4, 4).toInt()) + name.mid(8).chopped(4);
        }
        parts.append(shortName + '=' + picture);
    }
    return parts.join(' ');
}

struct CollisionRow {
    const char* name;
    const char* series;  // the pictures (files IMG_000n.JPG of the folder) in series order
    const char* begin;
    const char* from;
    const char* answers;  // to the questions and boxes, in order
    const char* folder;   // Describe() afterwards
    const char* saved;    // "k of n" of the end report; "" for none
    const char* box;      // a box that must have been shown ("%f": the folder), or ""
    int unreadable = 0;   // reading this picture's file fails
    int tmpfsKiB = 0;     // the folder is a tmpfs this large, and the pictures 250 KiB each
    int linked = 0;       // this picture's file is a link to its file in a folder below
    bool copies = false;  // the pictures are read through temporary copies, as from a stick
    int missing = 0;      // this picture's file is gone when the save starts
    int chained = 0;      // this picture's file is a link to picture linked's name
};

CollisionRow ThroughCopies(CollisionRow row) {
    row.copies = true;
    return row;
}

CollisionRow Missing(int picture, CollisionRow row) {
    row.missing = picture;
    return row;
}

// The copy service the save is given, watching that a file holding a picture is replaced
// only while the picture is on the disk elsewhere in the folder: a file there before the
// save, or one it wrote synced (Replace, FailIfExistsDurable, or moved from such a file).
// A power loss at that moment would otherwise take the picture.
class DurabilityWatch {
  public:
    DurabilityWatch(QString folder, int kib) : folder_(std::move(folder)), kib_(kib) {}

    void Install(TSaveServices& services, TCopyFunction copy) {
        services.copy = [this, copy](const QString& source, const QString& target, CopyMode mode) {
            BeforeWriting(target, mode);
            const CopyResult result = copy(source, target, mode);
            if (result.Ok()) {
                durable_[target] = mode != CopyMode::FailIfExists;
            }
            return result;
        };
        services.move = [this](const QString& from, const QString& to, CopyMode mode) {
            BeforeWriting(to, mode);
            const CopyResult result = platform::MoveFile(from, to, mode);
            if (result.Ok()) {
                durable_[to] = mode == CopyMode::Replace || durable_.value(from, true);
                durable_.remove(from);
            }
            return result;
        };
    }

    const QStringList& Faults() const { return faults_; }

  private:
    void BeforeWriting(const QString& target, CopyMode mode) {
        const int picture = mode == CopyMode::Replace ? PictureIn(target, kib_) : 0;
        if (picture == 0) {
            return;
        }
        for (const QString& name : QDir(folder_).entryList(QDir::Files | QDir::Hidden)) {
            const QString path = folder_ + '/' + name;
            if (path != target && PictureIn(path, kib_) == picture && durable_.value(path, true)) {
                return;
            }
        }
        faults_.append(QStringLiteral("%1 replaced while picture %2 is on the disk nowhere else")
                           .arg(QFileInfo(target).fileName())
                           .arg(picture));
    }

    QString folder_;
    int kib_;
    QMap<QString, bool> durable_;  // files the save wrote: whether synced
    QStringList faults_;
};

void PrintTo(const CollisionRow& row, std::ostream* os) {
    *os << row.name;
}

// The save reads the series as the program does for pictures from a stick: through their
// temporary copies, made now.
void ReadThroughCopies(TTempCopies& copies, const QStringList& series, TSaveServices& services) {
    copies.Prepare();
    for (const QString& path : series) {
        copies.CopyToTemp(path);
    }
    services.readablePath = [&copies](const QString& path) {
        return copies.CopyOf(path).value_or(path);
    };
}

const QMap<QString, MsgButton> kAnswers{{"Yes", MsgButton::Yes}, {"YesToAll", MsgButton::YesToAll},
                                        {"No", MsgButton::No},   {"NoToAll", MsgButton::NoToAll},
                                        {"Ok", MsgButton::Ok},   {"Cancel", MsgButton::Cancel}};

// The folder afterwards (Describe), the faults DurabilityWatch saw, then the text of every
// box shown.
QStringList RunRow(const CollisionRow& row, const QString& folder) {
    const int kib = row.tmpfsKiB ? 250 : 1;
    const QStringList series = MakePictures(folder, row.series, kib, row.linked);
    QFile::remove(folder + '/' + PictureName(row.missing));
    if (row.chained != 0 && QFile::remove(folder + '/' + PictureName(row.chained))) {
        QFile::link(PictureName(row.linked), folder + '/' + PictureName(row.chained));
    }
    const TSaveEntries entries{folder + '/', "", "IMG_", "", 4, row.from, row.begin};
    TSaveServices services;
    services.askOverwrite = [](const QString& text, const QString& caption, const QString&) {
        return static_cast<int>(platform::Messages().Ask({text, caption}));
    };
    const QString unreadable = folder + '/' + PictureName(row.unreadable);
    DurabilityWatch watch(folder, kib);
    watch.Install(services,
                  [unreadable](const QString& source, const QString& target, CopyMode mode) {
                      return source == unreadable ? CopyResult{EIO, platform::CopyStage::Read}
                                                  : platform::CopyFile(source, target, mode);
                  });
    QTemporaryDir temporaries;
    TTempCopies copies(temporaries.path() + "/PellimorTmp");
    if (row.copies) {
        ReadThroughCopies(copies, series, services);
    }
    platform::ScriptedMessageService messages;
    platform::ScopedMessageService scope(messages);
    for (const QString& answer : QString(row.answers).split(' ')) {
        messages.QueueAnswers({kAnswers.value(answer)});
    }
    SavePackage(series, entries, services);
    QStringList result{Describe(folder, kib), watch.Faults().join("; ")};
    for (const platform::MessageRequest& box : messages.Questions()) {
        result.append(box.text);
    }
    return result;
}

// The row in a child process whose folder is a small tmpfs of its own mount namespace,
// outside the usual drive folders; empty where mounting is not allowed.
QStringList RunRowOnTmpfs(const CollisionRow& row, const QString& folder) {
    int channel[2];
    if (::pipe(channel) != 0) {
        return {};
    }
    const pid_t child = ::fork();
    if (child == 0) {
        const QByteArray path = QFile::encodeName(folder);
        const QByteArray options = "size=" + QByteArray::number(row.tmpfsKiB) + "k";
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("tmpfs", path.constData(), "tmpfs", 0, options.constData()) != 0) {
            ::_exit(77);
        }
        const QByteArray text = RunRow(row, folder).join('\x1f').toUtf8();
        ::_exit(::write(channel[1], text.constData(), text.size()) == text.size() ? 0 : 1);
    }
    ::close(channel[1]);
    QFile reader;
    reader.open(channel[0], QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
    const QString text = QString::fromUtf8(reader.readAll());
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? text.split('\x1f') : QStringList();
}

class CollisionTable : public ::testing::TestWithParam<CollisionRow> {};

TEST_P(CollisionTable, EveryPictureKeepsItsBytes) {
    const CollisionRow& row = GetParam();
    QTemporaryDir dir;
    const QString folder = dir.path();
    const QStringList result = row.tmpfsKiB ? RunRowOnTmpfs(row, folder) : RunRow(row, folder);
    if (result.isEmpty()) {
        GTEST_SKIP() << "no mount namespace for a small tmpfs here";
    }
    EXPECT_EQ(result[0], QString(row.folder));
    for (QChar picture : QString(row.series)) {
        EXPECT_TRUE(picture.digitValue() == row.missing || picture.digitValue() == row.chained ||
                    result[0].contains(QString('=') + picture))
            << "lost: " << Text(picture);
    }
    EXPECT_EQ(result[1], QString());
    // Every box shown is one the row answers: no question or message beyond them (a
    // question whose Yes cannot be carried out shows up here as one too many).
    EXPECT_EQ(result.size() - 2, QString(row.answers).split(' ').size())
        << Text(result.mid(2).join("\n|"));
    const QString boxes = result.mid(2).join("\n|");
    const QString report = QString(row.saved) + " pictures were saved in '" + folder + "'.";
    EXPECT_EQ(*row.saved != 0, result.last().startsWith(report)) << Text(boxes);
    EXPECT_EQ(*row.saved != 0, boxes.contains("pictures were saved")) << Text(boxes);
    EXPECT_TRUE(boxes.contains(QString(row.box).replace("%f", folder))) << Text(boxes);
}

const char* const kKeptOne = "'%f/IMG_0001.JPG' is kept as '%f/IMG_0001~1.JPG'.";
// A picture whose name in the package holds a picture not saved is not asked about: the
// end report says why it is missing.
const char* const kOnlyCopyOf2 =
    "'%f/IMG_0001.JPG' was not saved: '%f/IMG_0002.JPG', its name in the package, is the only "
    "copy of '%f/IMG_0002.JPG', which is not saved.";
const char* const kOnlyCopyOf3 =
    "'%f/IMG_0004.JPG' was not saved: '%f/IMG_0003.JPG', its name in the package, is the only "
    "copy of '%f/IMG_0003.JPG', which is not saved.";
const char* const kOnlyCopyOf6 =
    "'%f/IMG_0001.JPG' was not saved: '%f/IMG_0006.JPG', its name in the package, is the only "
    "copy of '%f/IMG_0006.JPG', which is not saved.";
const char* const kReadError2 = "Can't copy file!\n%f/IMG_0002.JPG  Input/output error";
const char* const kReadError3 = "Can't copy file!\n%f/IMG_0003.JPG  Input/output error";

INSTANTIATE_TEST_SUITE_P(
    Rows, CollisionTable,
    ::testing::Values(
        CollisionRow{"InPlace", "12", "1", "1", "Yes Yes", "1=1 2=2", "", ""},
        CollisionRow{"Swap", "12", "2", "1", "YesToAll", "1=2 2=1", "", ""},
        CollisionRow{"SwapWithALink", "12", "2", "1", "YesToAll", "1=2 2=1", "", "", 0, 0, 2},
        // 3 is a link to the link 1: replacing either takes picture 1 from 3.
        CollisionRow{"ALinkToALink", "312", "3", "1", "YesToAll", "1=2 2=1 3=1", "", "", 0, 0, 1,
                     false, 0, 3},
        CollisionRow{"ThreeCycle", "123", "2", "1", "Yes Yes Yes", "1=2 2=3 3=1", "", ""},
        CollisionRow{"FourCycle", "1234", "2", "1", "YesToAll", "1=2 2=3 3=4 4=1", "", ""},
        CollisionRow{"ShiftByOne", "123", "1", "2", "YesToAll", "1=1 2=1 3=2 4=3", "", ""},
        CollisionRow{"NoKeepsTheSourcesOfLaterPictures", "123", "1", "2", "No Ok",
                     "1=1 2=2 3=3 4=3", "1 of 3", kOnlyCopyOf2},
        CollisionRow{"NoToAll", "123", "1", "2", "NoToAll Ok", "1=1 2=2 3=3 4=3", "1 of 3",
                     kOnlyCopyOf2},
        CollisionRow{"CancelInsideACycle", "1234", "2", "1", "Yes Cancel Ok",
                     "1=2 1~1=1 2=2 3=3 4=4", "1 of 4", kKeptOne},
        CollisionRow{"ReadErrorInsideACycle", "123", "2", "1", "YesToAll Ok Ok",
                     "1=2 1~1=1 2=2 3=3", "1 of 3", kReadError3, 3},
        CollisionRow{"ReadErrorBeforeAnyReplacement", "123", "2", "1", "Ok Ok", "1=1 2=2 3=3",
                     "0 of 3", kReadError2, 2},
        CollisionRow{"DiskFillsMidWay", "123", "1", "2", "YesToAll Ok Ok", "1=1 2=2 3=3 4=3",
                     "1 of 3", "%f The disk is full.", 0, 1024},
        // Its name is free for another picture's copy, which is not this picture.
        Missing(2, {"AMissingPictureIsNotReadFromWhatTheSaveWrote", "12", "2", "1", "Yes Ok",
                    "1=1 2=1", "1 of 2",
                    "%f/IMG_0002.JPG  The system cannot find the file specified"}),
        // Read through temporary copies, which the close deletes: the pictures' own files
        // in the folder are what must last.
        ThroughCopies({"CopiesInPlace", "12", "1", "1", "Yes Yes", "1=1 2=2", "", ""}),
        ThroughCopies({"CopiesYesThenNo", "12", "2", "1", "Yes No Ok", "1=2 1~1=1 2=2", "1 of 2",
                       kKeptOne}),
        ThroughCopies({"CopiesYesThenCancel", "12", "2", "1", "Yes Cancel Ok", "1=2 1~1=1 2=2",
                       "1 of 2", kKeptOne}),
        ThroughCopies({"CopiesYesToAll", "12", "2", "1", "YesToAll", "1=2 2=1", "", ""}),
        // The Yes meant for picture 1 is never asked for: its name holds picture 2, not saved.
        ThroughCopies({"CopiesNoThenYes", "12", "2", "1", "No Ok", "1=1 2=2", "0 of 2",
                       kOnlyCopyOf2}),
        ThroughCopies({"CopiesNoToAll", "12", "2", "1", "NoToAll Ok", "1=1 2=2", "0 of 2",
                       kOnlyCopyOf2}),
        ThroughCopies({"CopiesShiftByOne", "123", "1", "2", "YesToAll", "1=1 2=1 3=2 4=3", "", ""}),
        // After a No inside a cycle, every later picture's name holds a picture not saved:
        // none of them is asked about, and the report says why once.
        ThroughCopies({"CopiesSixNoAfterTheFirst", "123456", "2", "1", "Yes No Ok",
                       "1=2 1~1=1 2=2 3=3 4=4 5=5 6=6", "1 of 6", kOnlyCopyOf3}),
        ThroughCopies({"CopiesSixNoFirst", "123456", "2", "1", "No Ok", "1=1 2=2 3=3 4=4 5=5 6=6",
                       "0 of 6", kOnlyCopyOf6}),
        CollisionRow{"SixNoAfterTheFirst", "123456", "2", "1", "Yes No Ok",
                     "1=2 1~1=1 2=2 3=3 4=4 5=5 6=6", "1 of 6", kOnlyCopyOf3},
        // A question after a No is still asked where its Yes can be carried out.
        ThroughCopies({"CopiesInPlaceAfterANo", "1234", "1", "1", "Yes No Yes YesToAll Ok",
                       "1=1 2=2 3=3 4=4", "3 of 4", ""})),
    [](const auto& info) { return std::string(info.param.name); });

// A child saves a four-picture cycle (or a shift onto new names) with a copy slowed to
// small chunks that reports every chunk; it is killed after a random number of them.
// Runs 4 to 7 of every eight (a cycle and a shift, each way of writing) read the pictures
// through temporary copies, and the program starts again after the kill, which clears the
// dead one's copies. Afterwards every file of the folder is a complete picture, every
// picture is still there, and the next save into the folder clears a temporary the kill
// left behind.
TEST(SaveKillTest, AKilledSaveLeavesOnlyCompletePictures) {
    std::mt19937 random(20240611);
    for (int run = 0; run < 20; ++run) {
        SCOPED_TRACE(run);
        QTemporaryDir dir;
        QTemporaryDir temporaries;
        const QString folder = dir.path();
        const QString copiesParent = temporaries.path() + "/PellimorTmp";
        const bool throughCopies = run % 8 >= 4;
        const QStringList series = MakePictures(folder, "1234", 64);
        TSaveEntries entries{folder + '/', "", "IMG_", "", 4, run % 2 ? "3" : "1", "2"};
        int chunks[2];
        ASSERT_EQ(::pipe(chunks), 0);
        const pid_t child = ::fork();
        if (child == 0) {
            ::close(chunks[0]);
            platform::CopyOptions options;
            options.chunkBytes = 4096;
            options.allowUnnamed = run % 4 < 2;
            options.proceed = [&] { return ::write(chunks[1], "c", 1) == 1; };
            TSaveServices services;
            services.copy = [&](const QString& source, const QString& target, CopyMode mode) {
                return platform::CopyFile(source, target, mode, options);
            };
            services.askOverwrite = [](const QString&, const QString&, const QString&) {
                return 10;  // Yes to All
            };
            TTempCopies copies(copiesParent);
            if (throughCopies) {
                ReadThroughCopies(copies, series, services);
            }
            platform::ScriptedMessageService messages;
            platform::ScopedMessageService scope(messages);
            SavePackage(series, entries, services);
            ::_exit(0);
        }
        ::close(chunks[1]);
        char chunk;
        for (int k = std::uniform_int_distribution<int>(0, 90)(random);
             k > 0 && ::read(chunks[0], &chunk, 1) == 1; --k) {
        }
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        ::close(chunks[0]);
        TTempCopies restarted(copiesParent);
        restarted.Prepare();
        EXPECT_EQ(QDir(copiesParent).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 1);

        // Complete pictures, every one still there, at most one temporary of ours.
        const QString state = Describe(folder, 64);
        EXPECT_FALSE(state.contains(QRegularExpression("(^| )[^.][^ ]*=\\?"))) << Text(state);
        EXPECT_LE(state.count(QRegularExpression("(^| )\\.")), 1) << Text(state);
        for (const QString& file : state.split(' ')) {
            EXPECT_TRUE(!file.startsWith('.') ||
                        platform::IsTemporaryName(file.section('=', 0, 0).toStdString()));
        }
        for (int n = 1; n <= 4; ++n) {
            EXPECT_TRUE(state.contains('=' + QString::number(n))) << n << Text(state);
        }
        const QString other = dir.path() + "-other.jpg";
        QFile(other).open(QIODevice::WriteOnly);
        entries.prefix = "other";
        entries.beginFrom.clear();
        SavePackage({other}, entries);
        QFile::remove(other);
        EXPECT_TRUE(QDir(folder).entryList({".*"}, QDir::Files | QDir::Hidden).isEmpty());
    }
}

}  // namespace
