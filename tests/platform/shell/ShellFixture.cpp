#include "tests/platform/shell/ShellFixture.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace shelltest {

ShellFixture::ShellFixture() : root_(dir_.path().toStdString()) {
    if (!dir_.isValid())
        throw std::runtime_error("no temporary folder");
    MakeDir("home");
    MakeDir("net");
    MakeDir("sys");
    MakeDir("labels");
    const std::string mountInfo = root_ + "/mountinfo";
    std::ofstream(mountInfo) << "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
                             << "30 22 0:50 / " << SharePath()
                             << " rw,relatime shared:2 - nfs server:/export rw\n"
                             << "31 22 11:0 / " << CdPath() << " ro - iso9660 /dev/sr0 ro\n";
    platform::VolumeTable::Sources sources;
    sources.mountInfo = mountInfo;
    sources.sysfsRoot = root_ + "/sys";
    sources.labelDir = root_ + "/labels";
    volumes_ = std::make_unique<platform::VolumeTable>(sources);
    space_ = platform::ShellNamespace::Create(*volumes_, HomePath());
}

std::string ShellFixture::MakeDir(const std::string& relative) const {
    const std::string path = root_ + "/" + relative;
    std::filesystem::create_directories(path);
    return path;
}

std::string ShellFixture::MakeFile(const std::string& relative) const {
    const std::string path = root_ + "/" + relative;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path) << "x";
    return path;
}

std::string ShellFixture::MakeLink(const std::string& target, const std::string& relative) const {
    const std::string path = root_ + "/" + relative;
    if (::symlink(target.c_str(), path.c_str()) != 0)
        throw std::runtime_error("symlink failed");
    return path;
}

}  // namespace shelltest
