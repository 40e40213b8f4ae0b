#include "Components/PkgFolder/ExtFilter.h"

#include <QString>

namespace {

std::string Lower(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()))
        .toLower()
        .toStdString();
}

}  // namespace

std::string LowerExtension(std::string_view fileName) {
    const std::size_t dot = fileName.rfind('.');
    if (dot == std::string_view::npos)
        return {};
    return Lower(fileName.substr(dot));
}

bool ExtensionMatchesFilter(std::string_view filterExt, std::string_view fileName) {
    const std::string extension = LowerExtension(fileName);
    if (extension.empty())
        return false;
    std::size_t pos = 0;
    while (pos <= filterExt.size()) {
        std::size_t end = filterExt.find(';', pos);
        if (end == std::string_view::npos)
            end = filterExt.size();
        std::string_view entry = filterExt.substr(pos, end - pos);
        while (!entry.empty() && entry.front() == ' ')
            entry.remove_prefix(1);
        while (!entry.empty() && entry.back() == ' ')
            entry.remove_suffix(1);
        if (!entry.empty() && entry.front() == '*')
            entry.remove_prefix(1);
        if (!entry.empty() && Lower(entry) == extension)
            return true;
        pos = end + 1;
    }
    return false;
}
