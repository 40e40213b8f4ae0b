#include "platform/IniLocation.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <optional>
#include <string>

namespace {

using platform::IniLocation;
using platform::ResolveIniLocation;

struct LocationCase {
    const char* name;
    const char* program;
    bool writable;
    const char* pictures;
    const char* iniPath;
    const char* defaultFolder;
};

class IniLocationRuleTest : public ::testing::TestWithParam<LocationCase> {};

TEST_P(IniLocationRuleTest, FollowsTheProgramFolderOrTheUsersConfiguration) {
    const LocationCase& c = GetParam();
    const IniLocation location =
        ResolveIniLocation(c.program, c.writable, "/home/u/.config", "/home/u", c.pictures);
    EXPECT_EQ(location.iniPath, c.iniPath);
    EXPECT_EQ(location.defaultFolder, c.defaultFolder);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IniLocationRuleTest,
    ::testing::Values(LocationCase{"beside", "/opt/ov/orvane-viewer", true, "/home/u/Pictures",
                                   "/opt/ov/orvane-viewer.ini", "/opt/ov/"},
                      LocationCase{"extension_replaced", "/opt/o.v/viewer.bin", true, "",
                                   "/opt/o.v/viewer.ini", "/opt/o.v/"},
                      LocationCase{"installed", "/usr/bin/orvane-viewer", false, "/home/u/Pictures",
                                   "/home/u/.config/orvane-viewer/orvane-viewer.ini",
                                   "/home/u/Pictures/"},
                      LocationCase{"no_pictures", "/usr/bin/orvane-viewer", false, "",
                                   "/home/u/.config/orvane-viewer/orvane-viewer.ini", "/home/u/"}),
    [](const auto& info) { return std::string(info.param.name); });

// Restores an environment variable when the test ends.
class ScopedEnvironment {
  public:
    ScopedEnvironment(const char* name, const char* value) : name_(name) {
        if (const char* old = ::getenv(name)) {
            old_ = old;
        }
        value ? ::setenv(name, value, 1) : ::unsetenv(name);
    }
    ~ScopedEnvironment() { old_ ? ::setenv(name_, old_->c_str(), 1) : ::unsetenv(name_); }

  private:
    const char* name_;
    std::optional<std::string> old_;
};

TEST(IniLocationTest, ScopedPathWinsOverEnvironmentAndNests) {
    ScopedEnvironment environment("ORVANE_VIEWER_INI", "/tmp/from-env.ini");
    EXPECT_EQ(platform::IniFilePath(), "/tmp/from-env.ini");
    {
        platform::ScopedIniFilePath outer("/tmp/outer.ini");
        {
            platform::ScopedIniFilePath inner("/tmp/inner.ini");
            EXPECT_EQ(platform::IniFilePath(), "/tmp/inner.ini");
        }
        EXPECT_EQ(platform::IniFilePath(), "/tmp/outer.ini");
    }
    EXPECT_EQ(platform::IniFilePath(), "/tmp/from-env.ini");
}

TEST(IniLocationTest, WithoutOverridesTheFileBelongsToThisProgram) {
    ScopedEnvironment environment("ORVANE_VIEWER_INI", nullptr);
    const QString program = platform::ProgramPath();
    ASSERT_TRUE(program.startsWith('/'));
    EXPECT_TRUE(program.endsWith("/platform_tests")) << program.toStdString();
    EXPECT_EQ(platform::ProgramFolder() + "platform_tests", program);
    // The test program's build folder is writable, so the file sits beside it.
    EXPECT_EQ(platform::IniFilePath(), program + ".ini");
    EXPECT_EQ(platform::DefaultSourceFolder(), platform::ProgramFolder());
    EXPECT_EQ(platform::DefaultDestinationFolder(), platform::ProgramFolder());
}

}  // namespace
