#include "app/SlideShow/SlideShowPlacement.h"

#include <algorithm>

#include "platform/IniFile.h"

namespace slideshow {

namespace {

const QString kSection = QStringLiteral("SlideShow");

}  // namespace

WindowPlacement ReadPlacement(const TIniFile& ini, const QSize& screenSize) {
    WindowPlacement placement;
    placement.width =
        std::max(ini.ReadInteger(kSection, QStringLiteral("Width"), kMinFormWidth), kMinFormWidth);
    placement.height = std::max(ini.ReadInteger(kSection, QStringLiteral("Height"), kMinFormHeight),
                                kMinFormHeight);
    placement.left = ini.ReadInteger(kSection, QStringLiteral("Left"),
                                     (screenSize.width() - placement.width) / 2);
    placement.top = ini.ReadInteger(kSection, QStringLiteral("Top"),
                                    (screenSize.height() - placement.height) / 2);
    placement.maximized = ini.ReadString(kSection, QStringLiteral("State"),
                                         QStringLiteral("MAX")) == QStringLiteral("MAX");
    return placement;
}

void WritePlacement(TIniFile& ini, const WindowPlacement& placement) {
    if (placement.maximized) {
        ini.WriteString(kSection, QStringLiteral("State"), QStringLiteral("MAX"));
        return;
    }
    ini.WriteString(kSection, QStringLiteral("State"), QStringLiteral("NRM"));
    ini.WriteInteger(kSection, QStringLiteral("Width"), placement.width);
    ini.WriteInteger(kSection, QStringLiteral("Height"), placement.height);
    ini.WriteInteger(kSection, QStringLiteral("Left"), placement.left);
    ini.WriteInteger(kSection, QStringLiteral("Top"), placement.top);
}

}  // namespace slideshow
