#include "platform/IniFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <climits>

#include "TempDir.h"

namespace {

using platform_test::ReadFile;
using platform_test::TempDir;
using platform_test::WriteFile;

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

class IniFileTest : public ::testing::Test {
  protected:
    std::string IniPath() const { return dir_ / "settings.ini"; }
    QString IniName() const { return Q(IniPath()); }

    TempDir dir_;
};

TEST_F(IniFileTest, MissingFileGivesDefaultsAndIsNotCreatedByReading) {
    {
        TIniFile ini(IniName());
        EXPECT_EQ(ini.ReadString("Viewer", "Source", "/def/"), "/def/");
        EXPECT_EQ(ini.ReadInteger("Viewer", "PlaySpeed", 250), 250);
        EXPECT_TRUE(ini.ReadBool("Viewer", "Flag", true));
        EXPECT_FALSE(ini.SectionExists("Viewer"));
        EXPECT_FALSE(ini.ValueExists("Viewer", "Source"));
        EXPECT_TRUE(ini.ReadSection("Viewer").isEmpty());
    }
    EXPECT_FALSE(platform_test::PathExists(IniPath()));
}

// Values are kept raw: what a folder or name field may hold must come back unchanged.
TEST_F(IniFileTest, RawValuesRoundTripThroughTheFile) {
    const QStringList values = {
        "/home/user/My, Pictures/",
        "C:\\Pictures\\Series\\",
        "a=b=c",
        "100% \"quoted\" 'single'",
        "semi;colon # hash",
        "[not a section]",
        QString::fromUtf8("K\xC3\xA4se \xE5\x86\x99\xE7\x9C\x9F"),
        "",
        "inner  double  blanks",
        "trailing\\",
    };
    {
        TIniFile ini(IniName());
        for (int i = 0; i < values.size(); ++i) {
            ASSERT_TRUE(ini.WriteString("Saving", QString("Key%1").arg(i), values[i]));
        }
        ASSERT_TRUE(ini.UpdateFile());
    }
    TIniFile reread(IniName());
    for (int i = 0; i < values.size(); ++i) {
        EXPECT_EQ(reread.ReadString("Saving", QString("Key%1").arg(i), "<missing>"), values[i])
            << "key " << i;
    }
}

TEST_F(IniFileTest, LookupsIgnoreCaseAndKeepTheStoredSpelling) {
    WriteFile(IniPath(), "[Viewer]\nSource=/pics/\n");
    {
        TIniFile ini(IniName());
        EXPECT_EQ(ini.ReadString("VIEWER", "source", ""), "/pics/");
        EXPECT_TRUE(ini.SectionExists("viewer"));
        EXPECT_TRUE(ini.ValueExists("ViEwEr", "SOURCE"));
        ASSERT_TRUE(ini.WriteString("viewer", "SOURCE", "/other/"));
        EXPECT_EQ(ini.ReadSection("VIEWER"), QStringList{"Source"});
    }
    EXPECT_EQ(ReadFile(IniPath()), "[Viewer]\nSource=/other/\n");
}

TEST_F(IniFileTest, WritingKeepsEverythingElseOfTheFileAsItWas) {
    const std::string original =
        "; settings of the viewer\n"
        "orphan=before any section\n"
        "[Window]\n"
        "State = MAX\n"
        "  Width=800  \n"
        "Unknown=kept\n"
        "\n"
        "; a comment between sections\n"
        "[Foreign]\n"
        "Other=Value, with, commas\n"
        "no equals sign here\n";
    WriteFile(IniPath(), original);
    {
        TIniFile ini(IniName());
        ASSERT_TRUE(ini.WriteInteger("Window", "Width", 1024));
    }
    std::string expected = original;
    expected.replace(expected.find("  Width=800  "), 13, "Width=1024");
    EXPECT_EQ(ReadFile(IniPath()), expected);
}

// An INI file written elsewhere in a legacy code page: its other lines must survive.
TEST_F(IniFileTest, LinesThatAreNotUtf8AreKeptByteForByte) {
    const std::string latin1 =
        "[Viewer]\nSource=C:\\Bilder \xE4\xF6\\\n; Gr\xFC\xDF"
        "e\n";
    WriteFile(IniPath(), latin1);
    {
        TIniFile ini(IniName());
        ini.WriteInteger("Viewer", "PlaySpeed", 100);
    }
    EXPECT_EQ(ReadFile(IniPath()),
              "[Viewer]\nSource=C:\\Bilder \xE4\xF6\\\nPlaySpeed=100\n; Gr\xFC\xDF"
              "e\n");
}

TEST_F(IniFileTest, NewKeysGoAfterTheSectionsLastEntryAndNewSectionsAtTheEnd) {
    WriteFile(IniPath(), "[Window]\nState=MAX\n\n; next\n[Spliters]\nSplitH=3\n");
    {
        TIniFile ini(IniName());
        ASSERT_TRUE(ini.WriteInteger("Window", "Left", 5));
        ASSERT_TRUE(ini.WriteString("Saving", "Prefix", "img"));
    }
    EXPECT_EQ(ReadFile(IniPath()),
              "[Window]\nState=MAX\nLeft=5\n\n; next\n[Spliters]\nSplitH=3\n\n"
              "[Saving]\nPrefix=img\n");
}

TEST_F(IniFileTest, BlanksAroundNamesAndValuesAreNotPartOfThem) {
    WriteFile(IniPath(), "  [ Viewer ]  \n\tSource\t=  /x y/  \n");
    TIniFile ini(IniName());
    EXPECT_EQ(ini.ReadString("Viewer", "Source", ""), "/x y/");
    EXPECT_EQ(ini.ReadString(" Viewer ", " Source ", ""), "/x y/");
}

TEST_F(IniFileTest, WindowsLineEndsAndByteOrderMarkAreRead) {
    WriteFile(IniPath(), "\xEF\xBB\xBF[Viewer]\r\nPlaySpeed=300\r\nSource=/a/\r\n");
    TIniFile ini(IniName());
    EXPECT_EQ(ini.ReadInteger("Viewer", "PlaySpeed", 0), 300);
    EXPECT_EQ(ini.ReadString("Viewer", "Source", ""), "/a/");
}

TEST_F(IniFileTest, EntriesAboveTheFirstSectionBelongToNoSection) {
    WriteFile(IniPath(), "Source=/top/\n[Viewer]\n");
    TIniFile ini(IniName());
    EXPECT_FALSE(ini.ValueExists("Viewer", "Source"));
    EXPECT_TRUE(ini.SectionExists("Viewer"));
}

struct IntegerCase {
    const char* stored;
    int expected;
};

void PrintTo(const IntegerCase& c, std::ostream* os) {
    *os << '"' << c.stored << '"';
}

class IniIntegerTest : public IniFileTest, public ::testing::WithParamInterface<IntegerCase> {};

TEST_P(IniIntegerTest, ReadIntegerTakesWholeNumbersOnly) {
    WriteFile(IniPath(), std::string("[S]\nK=") + GetParam().stored + "\n");
    TIniFile ini(IniName());
    EXPECT_EQ(ini.ReadInteger("S", "K", -999), GetParam().expected) << GetParam().stored;
}

INSTANTIATE_TEST_SUITE_P(
    Values, IniIntegerTest,
    ::testing::Values(IntegerCase{"42", 42}, IntegerCase{"-7", -7}, IntegerCase{"+5", 5},
                      IntegerCase{"  13  ", 13}, IntegerCase{"0x1F", 31}, IntegerCase{"$10", 16},
                      IntegerCase{"2147483647", INT_MAX}, IntegerCase{"-2147483648", INT_MIN},
                      IntegerCase{"2147483648", -999}, IntegerCase{"99999999999999999999", -999},
                      IntegerCase{"12abc", -999}, IntegerCase{"abc", -999}, IntegerCase{"", -999},
                      IntegerCase{"1.5", -999}, IntegerCase{"--1", -999}, IntegerCase{"0x", -999},
                      IntegerCase{"1 2", -999}, IntegerCase{"0xZZ", -999}));

struct BoolCase {
    const char* stored;
    bool defaultValue;
    bool expected;
};

void PrintTo(const BoolCase& c, std::ostream* os) {
    *os << '"' << c.stored << "\" default " << c.defaultValue;
}

class IniBoolTest : public IniFileTest, public ::testing::WithParamInterface<BoolCase> {};

TEST_P(IniBoolTest, ReadBoolTakesNumbersAndWords) {
    WriteFile(IniPath(), std::string("[S]\nK=") + GetParam().stored + "\n");
    TIniFile ini(IniName());
    EXPECT_EQ(ini.ReadBool("S", "K", GetParam().defaultValue), GetParam().expected)
        << GetParam().stored;
}

INSTANTIATE_TEST_SUITE_P(Values, IniBoolTest,
                         ::testing::Values(BoolCase{"1", false, true}, BoolCase{"0", true, false},
                                           BoolCase{"-1", false, true},
                                           BoolCase{"TRUE", false, true},
                                           BoolCase{"false", true, false},
                                           BoolCase{"yes please", true, true},
                                           BoolCase{"yes please", false, false}));

TEST_F(IniFileTest, BoolsAndIntegersAreWrittenAsNumbers) {
    {
        TIniFile ini(IniName());
        ini.WriteBool("S", "On", true);
        ini.WriteBool("S", "Off", false);
        ini.WriteInteger("S", "Negative", -12);
    }
    EXPECT_EQ(ReadFile(IniPath()), "[S]\nOn=1\nOff=0\nNegative=-12\n");
}

struct UnstorableCase {
    const char* section;
    const char* key;
    const char* value;
};

void PrintTo(const UnstorableCase& c, std::ostream* os) {
    *os << QString("[%1] %2=%3")
               .arg(c.section, c.key, c.value)
               .toUtf8()
               .toPercentEncoding(" []=")
               .constData();
}

class IniUnstorableTest : public IniFileTest,
                          public ::testing::WithParamInterface<UnstorableCase> {};

// Such a write would read back as something else (or corrupt the next lines), so it is
// refused and the file keeps its old value.
TEST_P(IniUnstorableTest, WritesThatCannotBeReadBackAreRefused) {
    WriteFile(IniPath(), "[S]\nK=old\n");
    {
        TIniFile ini(IniName());
        EXPECT_FALSE(ini.WriteString(GetParam().section, GetParam().key, GetParam().value));
        EXPECT_EQ(ini.ReadString("S", "K", ""), "old");
    }
    EXPECT_EQ(ReadFile(IniPath()), "[S]\nK=old\n");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IniUnstorableTest,
    ::testing::Values(UnstorableCase{"S", "K", "two\nlines"}, UnstorableCase{"S", "K", "cr\r"},
                      UnstorableCase{"S", "K=x", "v"}, UnstorableCase{"S", "", "v"},
                      UnstorableCase{"S", ";K", "v"}, UnstorableCase{"S", "[K", "v"},
                      UnstorableCase{"S]x", "K", "v"}, UnstorableCase{"", "K", "v"},
                      UnstorableCase{"S", "K\nL", "v"}));

TEST_F(IniFileTest, EraseSectionAndDeleteKeyRemoveDuplicatesToo) {
    WriteFile(IniPath(), "[A]\nK=1\nK=2\nL=3\n[B]\nX=1\n[a]\nK=4\n[C]\nY=1\n");
    {
        TIniFile ini(IniName());
        ini.DeleteKey("A", "k");
        EXPECT_FALSE(ini.ValueExists("A", "K"));
        EXPECT_EQ(ini.ReadString("A", "L", ""), "3");
        ini.EraseSection("b");
        EXPECT_FALSE(ini.SectionExists("B"));
        ini.EraseSection("A");
        EXPECT_FALSE(ini.SectionExists("A"));
        EXPECT_EQ(ini.ReadSections(), QStringList{"C"});
    }
    EXPECT_EQ(ReadFile(IniPath()), "[C]\nY=1\n");
}

TEST_F(IniFileTest, TheFirstOfDuplicateKeysAndSectionsCounts) {
    WriteFile(IniPath(), "[S]\nK=first\nK=second\n[S]\nK=third\nM=only here\n");
    TIniFile ini(IniName());
    EXPECT_EQ(ini.ReadString("S", "K", ""), "first");
    EXPECT_FALSE(ini.ValueExists("S", "M"));
}

// Two passes over the same file at once (a dialog and the main window) must not undo each
// other's keys.
TEST_F(IniFileTest, ConcurrentObjectsMergeTheirChanges) {
    WriteFile(IniPath(), "[Viewer]\nSource=/a/\n");
    {
        TIniFile first(IniName());
        TIniFile second(IniName());
        first.WriteInteger("Viewer", "PlaySpeed", 300);
        second.WriteString("Saving", "Prefix", "img");
        second.DeleteKey("Viewer", "Source");
        ASSERT_TRUE(first.UpdateFile());
        ASSERT_TRUE(second.UpdateFile());
    }
    TIniFile ini(IniName());
    EXPECT_EQ(ini.ReadInteger("Viewer", "PlaySpeed", 0), 300);
    EXPECT_EQ(ini.ReadString("Saving", "Prefix", ""), "img");
    EXPECT_FALSE(ini.ValueExists("Viewer", "Source"));
}

TEST_F(IniFileTest, AFileThatCannotBeReadIsNeverReplaced) {
    platform_test::MakeFolders(IniPath());  // a folder where the file should be
    platform_test::WriteFile(IniPath() + "/inside", "precious");
    TIniFile ini(IniName());
    EXPECT_EQ(ini.ReadString("S", "K", "def"), "def");
    ASSERT_TRUE(ini.WriteString("S", "K", "v"));
    EXPECT_FALSE(ini.UpdateFile());
    EXPECT_EQ(ini.LastError(), EISDIR);
    EXPECT_EQ(ReadFile(IniPath() + "/inside"), "precious");
}

TEST_F(IniFileTest, WritingThroughALinkUpdatesTheLinkedFile) {
    const std::string real = dir_ / "real.ini";
    WriteFile(real, "[S]\nK=old\n");
    platform_test::MakeLink("real.ini", IniPath());
    {
        TIniFile ini(IniName());
        ini.WriteString("S", "K", "new");
    }
    struct stat info {};
    ASSERT_EQ(::lstat(IniPath().c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    EXPECT_EQ(ReadFile(real), "[S]\nK=new\n");
}

TEST_F(IniFileTest, MissingFoldersAboveTheFileAreCreated) {
    const std::string nested = dir_ / "config/orvane-viewer/orvane-viewer.ini";
    {
        TIniFile ini(Q(nested));
        ini.WriteString("Viewer", "Source", "/p/");
        EXPECT_TRUE(ini.UpdateFile());
    }
    EXPECT_EQ(ReadFile(nested), "[Viewer]\nSource=/p/\n");
}

TEST_F(IniFileTest, AFailedWriteKeepsTheChangesPending) {
    const std::string blocked = dir_ / "file/settings.ini";  // parent is a regular file
    WriteFile(dir_ / "file", "x");
    TIniFile ini(Q(blocked));
    ini.WriteString("S", "K", "v");
    EXPECT_FALSE(ini.UpdateFile());
    EXPECT_EQ(ini.LastError(), ENOTDIR);
    EXPECT_EQ(ini.ReadString("S", "K", ""), "v");
    EXPECT_FALSE(ini.UpdateFile());
}

TEST_F(IniFileTest, ReplacingTheFileLeavesNoTemporaryFilesAndKeepsItsMode) {
    WriteFile(IniPath(), "[S]\nK=1\n");
    ASSERT_EQ(::chmod(IniPath().c_str(), 0600), 0);
    {
        TIniFile ini(IniName());
        ini.WriteInteger("S", "K", 2);
    }
    struct stat info {};
    ASSERT_EQ(::stat(IniPath().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(platform_test::ListFolder(dir_.Path()), std::vector<std::string>{"settings.ini"});
    EXPECT_EQ(ReadFile(IniPath()), "[S]\nK=2\n");
}

}  // namespace
