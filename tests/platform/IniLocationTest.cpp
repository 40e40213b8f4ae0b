#include "platform/IniLocation.h"

#include <gtest/gtest.h>
#include <stdlib.h>

namespace {

TEST(IniLocationTest, FollowsTheProgramFolderOrTheUsersConfiguration) {
    const char* config = "/home/u/.config/orvane-viewer/orvane-viewer.ini";
    const std::tuple<const char*, bool, const char*, const char*, const char*> cases[] = {
        {"/opt/ov/orvane-viewer", true, "/home/u/Pictures", "/opt/ov/orvane-viewer.ini",
         "/opt/ov/"},
        {"/opt/o.v/viewer.bin", true, "", "/opt/o.v/viewer.ini", "/opt/o.v/"},
        {"/usr/bin/orvane-viewer", false, "/home/u/Pictures", config, "/home/u/Pictures/"},
        {"/usr/bin/orvane-viewer", false, "", config, "/home/u/"}};  // no Pictures folder
    for (const auto& [program, writable, pictures, iniPath, folder] : cases) {
        const platform::IniLocation location =
            platform::ResolveIniLocation(program, writable, "/home/u/.config", "/home/u", pictures);
        EXPECT_EQ(location.iniPath, iniPath) << program;
        EXPECT_EQ(location.defaultFolder, folder) << program;
    }
}

TEST(IniLocationTest, ScopedPathsWinOverTheEnvironmentWhichWinsOverTheProgram) {
    ::unsetenv("ORVANE_VIEWER_INI");
    const QString program = platform::ProgramPath();
    EXPECT_TRUE(program.endsWith("/platform_tests")) << program.toStdString();
    // The test program's build folder is writable, so the file sits beside it.
    EXPECT_EQ(platform::IniFilePath(), program + ".ini");
    EXPECT_EQ(platform::DefaultSourceFolder(), platform::ProgramFolder());
    EXPECT_EQ(platform::DefaultDestinationFolder(), platform::ProgramFolder());
    ::setenv("ORVANE_VIEWER_INI", "/tmp/from-env.ini", 1);
    {
        platform::ScopedIniFilePath outer("/tmp/outer.ini");
        {
            platform::ScopedIniFilePath inner("/tmp/inner.ini");
            EXPECT_EQ(platform::IniFilePath(), "/tmp/inner.ini");
        }
        EXPECT_EQ(platform::IniFilePath(), "/tmp/outer.ini");
    }
    EXPECT_EQ(platform::IniFilePath(), "/tmp/from-env.ini");
    ::unsetenv("ORVANE_VIEWER_INI");
}

}  // namespace
