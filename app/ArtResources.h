#pragma once
// The program's own artwork, compiled in from resources/orvane.qrc. The resource file
// lives in a static library, so it is registered explicitly before the first picture is
// loaded (a static library's registration object may otherwise be dropped by the linker).

#include <QIcon>
#include <QImage>
#include <QString>

void InitArtResources();

QImage ArtImage(const QString& name);  // e.g. "splash.png"; null when missing
// A top-bar glyph with its own disabled look ("btn_config" and "btn_config_disabled").
QIcon ButtonIcon(const QString& name);
QIcon ProgramIcon();
