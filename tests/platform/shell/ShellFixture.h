#pragma once
// A namespace over a temporary folder: a home folder, a network share and a CD drive,
// described by a fake mount table so no test depends on the machine's real drives.

#include "platform/VolumeTable.h"
#include "platform/shell/ShellNamespace.h"

#include <QTemporaryDir>

#include <memory>
#include <string>

namespace shelltest {

class ShellFixture {
  public:
    ShellFixture();

    std::string Root() const { return root_; }
    std::string HomePath() const { return root_ + "/home"; }
    std::string SharePath() const { return root_ + "/net"; }
    static std::string CdPath() { return "/media/orvane-test-cd"; }
    const platform::ShellNamespace& Space() const { return *space_; }
    std::shared_ptr<const platform::ShellNamespace> SharedSpace() const { return space_; }

    // Creates the folders of `relative` (below the root) and returns the full path.
    std::string MakeDir(const std::string& relative) const;
    std::string MakeFile(const std::string& relative) const;
    std::string MakeLink(const std::string& target, const std::string& relative) const;

  private:
    QTemporaryDir dir_;
    std::string root_;
    std::unique_ptr<platform::VolumeTable> volumes_;
    std::shared_ptr<const platform::ShellNamespace> space_;
};

}  // namespace shelltest
