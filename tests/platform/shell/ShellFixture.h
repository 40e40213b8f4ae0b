#pragma once
// A namespace over a temporary folder: a home folder, a network share and a CD drive,
// described by a fake mount table so no test depends on the machine's real drives. Fixed
// drives may be added below the folder's "drives".

#include <memory>
#include <string>

#include "platform/VolumeTable.h"
#include "platform/shell/ShellNamespace.h"
#include "tests/platform/FakeSystem.h"

namespace shelltest {

class ShellFixture {
  public:
    // In a temporary folder below `base` (empty: the usual one).
    explicit ShellFixture(const std::string& base = {}) : system_(base) {
        system_.AddMount("8:1", "/", "ext4", "/dev/sda1");
        system_.AddMount("0:50", SharePath(), "nfs", "server:/export");
        system_.AddMount("11:0", CdPath(), "iso9660", "/dev/sr0");
        MakeDir("home");
        MakeDir("net");
    }

    std::string Root() const { return system_.Dir().Path(); }
    std::string HomePath() const { return Root() + "/home"; }
    std::string SharePath() const { return Root() + "/net"; }
    static std::string CdPath() { return "/media/orvane-test-cd"; }
    const platform::ShellNamespace& Space() const { return *space_; }
    std::shared_ptr<const platform::ShellNamespace> SharedSpace() const { return space_; }
    // Another namespace over the same drives and home that reaches folders through `access`
    // (it must not outlive the fixture).
    std::shared_ptr<const platform::ShellNamespace> SpaceWith(
        platform::DirectoryAccess access) const {
        return platform::ShellNamespace::Create(volumes_, HomePath(), std::move(access));
    }
    // A fixed disk mounted on drives/<name>; returns its mount point.
    std::string AddFixedDrive(const std::string& name, const std::string& majorMinor) {
        const std::string point = MakeDir("drives/" + name);
        system_.AddMount(majorMinor, point, "ext4", "/dev/disk-" + name);
        return point;
    }

    // Each makes what `relative` (below the root) names, with the folders above it, and
    // returns the full path.
    std::string MakeDir(const std::string& relative) const {
        std::filesystem::create_directories(Root() + "/" + relative);
        return Root() + "/" + relative;
    }
    std::string MakeFile(const std::string& relative) const {
        platform_test::WriteFile(Root() + "/" + relative, "x");
        return Root() + "/" + relative;
    }
    std::string MakeLink(const std::string& target, const std::string& relative) const {
        platform_test::MakeLink(target, Root() + "/" + relative);
        return Root() + "/" + relative;
    }

  private:
    platform::VolumeTable::Sources Sources() const {
        platform::VolumeTable::Sources sources = system_.Sources();
        sources.driveFolders.push_back(Root() + "/drives");
        return sources;
    }

    platform_test::FakeSystem system_;
    platform::VolumeTable volumes_{Sources()};
    std::shared_ptr<const platform::ShellNamespace> space_ =
        platform::ShellNamespace::Create(volumes_, HomePath());
};

}  // namespace shelltest
