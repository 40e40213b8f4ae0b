#pragma once
// Attribute bits, enumeration flags and name kinds of the namespace. The bit values are
// the classic shell's, so masks such as "can rename and in the file system" keep their numbers.

#include <cstdint>
#include <string>

namespace platform {

namespace ShellAttr {
constexpr std::uint32_t CanRename = 0x00000010;
constexpr std::uint32_t Link = 0x00010000;
constexpr std::uint32_t Hidden = 0x00080000;
constexpr std::uint32_t Removable = 0x02000000;
constexpr std::uint32_t FileSysAncestor = 0x10000000;
constexpr std::uint32_t Folder = 0x20000000;
constexpr std::uint32_t FileSystem = 0x40000000;
constexpr std::uint32_t HasSubfolder = 0x80000000;
}  // namespace ShellAttr

namespace EnumFlag {
constexpr unsigned Folders = 0x20;
constexpr unsigned NonFolders = 0x40;
constexpr unsigned IncludeHidden = 0x80;
}  // namespace EnumFlag

enum class NameKind {
    InFolder,  // the name shown inside its folder
    Normal,    // the name shown on its own (a drive adds its mount point)
};

// Where an identifier leads.
struct ShellLocation {
    enum class Kind { Invalid, Desktop, Computer, Home, Drive, FileSystem };
    Kind kind = Kind::Invalid;
    std::string path;  // the file-system path; empty for the desktop, the computer and invalid

    bool IsVirtual() const { return kind == Kind::Desktop || kind == Kind::Computer; }
    bool IsFileSystem() const {
        return kind == Kind::Home || kind == Kind::Drive || kind == Kind::FileSystem;
    }
};

// One item read from a folder.
struct ShellEntry {
    std::string name;  // the item, as its one-item identifier holds it
    bool folder = false;
    bool link = false;
    bool hidden = false;
    int rank = 0;  // fixed place of virtual items among their siblings
};

}  // namespace platform
