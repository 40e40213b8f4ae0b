#include "platform/IniFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <climits>

#include "TempDir.h"

namespace {

using platform_test::ReadFile;
using platform_test::WriteFile;

class IniFileTest : public ::testing::Test {
  protected:
    QString Name() const { return QString::fromStdString(path_); }

    platform_test::TempDir dir_;
    const std::string path_ = dir_ / "settings.ini";
};

// Values are kept raw: what a folder or name field may hold must come back unchanged.
TEST_F(IniFileTest, RawValuesRoundTripThroughTheFile) {
    const char* values[] = {"/home/user/My, Pictures/",
                            "C:\\Pictures\\Series\\",
                            "trailing\\",
                            "a=b=c",
                            "100% \"quoted\" 'single'",
                            "semi;colon # hash",
                            "[no section]",
                            "K\xC3\xA4se \xE5\x86\x99",
                            ""};
    {
        TIniFile ini(Name());
        for (int i = 0; i < int(std::size(values)); ++i) {
            ASSERT_TRUE(
                ini.WriteString("Saving", QString("Key%1").arg(i), QString::fromUtf8(values[i])));
        }
        ASSERT_TRUE(ini.UpdateFile());
    }
    TIniFile reread(Name());
    for (int i = 0; i < int(std::size(values)); ++i) {
        EXPECT_EQ(reread.ReadString("Saving", QString("Key%1").arg(i), "?"),
                  QString::fromUtf8(values[i]));
    }
}

TEST_F(IniFileTest, ReadsAsAWindowsProfileDoes) {
    // A byte-order mark, CRLF line ends, blanks around names and values, an entry above the
    // first section (it belongs to none), letter case, and duplicates (the first counts).
    WriteFile(path_,
              "\xEF\xBB\xBFSource=/top/\r\n  [ Viewer ]  \r\n\tSource\t=  /x y/  \r\n"
              "SOURCE=second\r\n[viewer]\r\nLater=1\r\n");
    TIniFile ini(Name());
    EXPECT_EQ(ini.ReadString("VIEWER", "source", ""), "/x y/");
    EXPECT_FALSE(ini.ValueExists("Viewer", "Later"));
}

TEST_F(IniFileTest, WritingKeepsEverythingElseOfTheFileAsItWas) {
    const std::string original =  // the last line written elsewhere in a legacy code page
        "; settings of the viewer\norphan=before any section\n[Window]\nState = MAX\n"
        "  Width=800  \nUnknown=kept\n\n; a comment between sections\n[Foreign]\n"
        "Other=Value, with, commas\nno equals sign here\nSource=C:\\Bilder \xE4\xF6\\\n";
    WriteFile(path_, original);
    {
        TIniFile ini(Name());
        ASSERT_TRUE(ini.WriteInteger("window", "WIDTH", 1024));  // in place, old spelling kept
        ASSERT_TRUE(ini.WriteInteger("Window", "Left", 5));      // after the section's last entry
        ASSERT_TRUE(ini.WriteBool("Saving", "Prefix", true));    // a new section at the end
        // The value a key holds, written again as read: its line stays as it is, the
        // spacing and the bytes that are no UTF-8 (read as replacement characters) too.
        ASSERT_TRUE(ini.WriteString("Window", "State", "MAX"));
        ASSERT_TRUE(ini.WriteString("Foreign", "Source", ini.ReadString("Foreign", "Source", "")));
    }
    std::string expected = original;
    expected.replace(expected.find("  Width=800  "), 13, "Width=1024");
    expected.insert(expected.find("\n\n; a comment") + 1, "Left=5\n");
    EXPECT_EQ(ReadFile(path_), expected + "\n[Saving]\nPrefix=1\n");

    // A file from Windows keeps its byte-order mark and CRLF line ends, even on the lines
    // that change and on a last line without one; new lines end as the file's first does.
    const std::string windows =
        "\xEF\xBB\xBF; saved on Windows\r\n[Window]\r\nWidth=800\r\nState=MAX";
    WriteFile(path_, windows);
    TIniFile(Name()).WriteInteger("Window", "Width", 1024);
    EXPECT_EQ(ReadFile(path_),
              "\xEF\xBB\xBF; saved on Windows\r\n[Window]\r\nWidth=1024\r\nState=MAX");
    {
        TIniFile ini(Name());
        ini.WriteInteger("Window", "Left", 5);
        ini.WriteBool("Saving", "Prefix", true);
    }
    EXPECT_EQ(ReadFile(path_),
              "\xEF\xBB\xBF; saved on Windows\r\n[Window]\r\nWidth=1024\r\nState=MAX\r\nLeft=5\r\n"
              "\r\n[Saving]\r\nPrefix=1\r\n");
}

// A number is the whole value within the int range; anything else, or a key or file that
// is not there, gives the default. Reading never makes the file.
TEST_F(IniFileTest, NumbersAreWholeAndWithinRangeOrTheDefault) {
    const std::pair<const char*, int> integers[] = {
        {"42", 42},         {"-7", -7},    {"+5", 5},
        {"0x1F", 31},       {"$10", 16},   {"-2147483648", INT_MIN},
        {"2147483648", -1}, {"12abc", -1}, {"", -1},
        {"1.5", -1},        {"0x", -1},    {"1 2", -1}};
    {
        TIniFile missing(Name());
        EXPECT_EQ(missing.ReadString("S", "I42", "/def/"), "/def/");
        EXPECT_EQ(missing.ReadInteger("S", "I42", -1), -1);
        EXPECT_TRUE(missing.ReadBool("S", "On", true));
        EXPECT_FALSE(missing.SectionExists("S"));
    }
    EXPECT_FALSE(platform_test::PathExists(path_));
    std::string text = "[S]\nOn=TRUE\nOff=0\nJunk=yes please\n";
    for (const auto& [stored, value] : integers) {
        text += std::string("I") + stored + "=" + stored + "\n";
    }
    WriteFile(path_, text);
    TIniFile ini(Name());
    for (const auto& [stored, value] : integers) {
        EXPECT_EQ(ini.ReadInteger("S", QString("I") + stored, -1), value) << '"' << stored << '"';
    }
    EXPECT_TRUE(ini.ReadBool("S", "On", false));
    EXPECT_FALSE(ini.ReadBool("S", "Off", true));
    EXPECT_TRUE(ini.ReadBool("S", "Junk", true));
}

// Such a write would read back as something else, or spoil the next lines.
TEST_F(IniFileTest, WritesThatCannotBeReadBackAreRefused) {
    WriteFile(path_, "[S]\nK=old\n");
    const char* cases[][3] = {{"S", "K", "two\nlines"}, {"S", "K", "cr\r"}, {"S", "K=x", "v"},
                              {"S", ";K", "v"},         {"S]x", "K", "v"},  {"", "K", "v"}};
    {
        TIniFile ini(Name());
        for (const auto& c : cases) {
            EXPECT_FALSE(ini.WriteString(c[0], c[1], c[2])) << c[0] << " " << c[1] << " " << c[2];
        }
        EXPECT_EQ(ini.ReadString("S", "K", ""), "old");
    }
    EXPECT_EQ(ReadFile(path_), "[S]\nK=old\n");
}

// Two objects over the same file at once (a dialog and the main window) must not undo each
// other's keys.
TEST_F(IniFileTest, ConcurrentObjectsMergeTheirChanges) {
    WriteFile(path_, "[Viewer]\nSource=/a/\n");
    TIniFile first(Name());
    TIniFile second(Name());
    first.WriteInteger("Viewer", "PlaySpeed", 300);
    second.WriteString("Saving", "Prefix", "img");
    second.DeleteKey("Viewer", "Source");
    ASSERT_TRUE(first.UpdateFile());
    ASSERT_TRUE(second.UpdateFile());
    EXPECT_EQ(ReadFile(path_), "[Viewer]\nPlaySpeed=300\n\n[Saving]\nPrefix=img\n");
}

TEST_F(IniFileTest, FailuresToWriteLoseNothing) {
    // Too large to be read whole: a file that was not read is never replaced.
    const std::string huge = "[S]\nK=old\n;" + std::string(size_t{5} << 20, 'x') + "\n";
    WriteFile(path_, huge);
    TIniFile unread(Name());
    EXPECT_EQ(unread.ReadString("S", "K", "def"), "def");
    EXPECT_EQ(unread.ReadError(), EFBIG);
    ASSERT_TRUE(unread.WriteString("S", "K", "v"));
    EXPECT_FALSE(unread.UpdateFile());
    EXPECT_EQ(unread.LastError(), EFBIG);
    EXPECT_TRUE(ReadFile(path_) == huge);
    // Below a regular file: the change stays pending for a later try.
    TIniFile blocked(QString::fromStdString(path_ + "/settings.ini"));
    blocked.WriteString("S", "K", "v");
    EXPECT_FALSE(blocked.UpdateFile());
    EXPECT_EQ(blocked.LastError(), ENOTDIR);
    EXPECT_EQ(blocked.ReadString("S", "K", ""), "v");
}

// The file a link names is written, and the link stays: one to a file whose mode is kept,
// one that dangles into a folder not made yet. No temporary file is left beside them.
TEST_F(IniFileTest, WritesGoThroughLinksKeepTheModeAndMakeMissingFolders) {
    WriteFile(dir_ / "real.ini", "[S]\nK=1\n");
    ASSERT_EQ(::chmod((dir_ / "real.ini").c_str(), 0600), 0);
    platform_test::MakeLink("real.ini", path_);
    platform_test::MakeLink("kept/new.ini", dir_ / "dangling.ini");  // relative
    for (const char* name : {"settings.ini", "dangling.ini"}) {
        TIniFile ini(QString::fromStdString(dir_ / name));
        EXPECT_EQ(ini.ReadError(), 0) << name;
        ini.WriteInteger("S", "K", 2);
        EXPECT_TRUE(ini.UpdateFile()) << name;
        struct stat info {};
        ASSERT_EQ(::lstat((dir_ / name).c_str(), &info), 0);
        EXPECT_TRUE(S_ISLNK(info.st_mode)) << name;
    }
    EXPECT_EQ(ReadFile(dir_ / "real.ini"), "[S]\nK=2\n");
    EXPECT_EQ(ReadFile(dir_ / "kept/new.ini"), "[S]\nK=2\n");
    struct stat info {};
    ASSERT_EQ(::stat(path_.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(platform_test::ListFolder(dir_.Path()),
              (std::vector<std::string>{"dangling.ini", "kept", "real.ini", "settings.ini"}));
    const std::string nested = dir_ / "config/orvane-viewer/orvane-viewer.ini";
    TIniFile ini(QString::fromStdString(nested));
    ini.WriteString("Viewer", "Source", "/p/");
    const mode_t previousMask = ::umask(022);  // the usual one, which lets others read
    EXPECT_TRUE(ini.UpdateFile());
    ::umask(previousMask);
    EXPECT_EQ(ReadFile(nested), "[Viewer]\nSource=/p/\n");
    // The folders made for it are private to the user all the same.
    for (const char* folder : {"config", "config/orvane-viewer"}) {
        ASSERT_EQ(::stat((dir_ / folder).c_str(), &info), 0) << folder;
        EXPECT_EQ(info.st_mode & 0777, 0700u) << folder;
    }
}

}  // namespace
