#pragma once
// Fixtures of the slideshow tests: JPEG files written at run time by Qt's image writer, in
// a folder that removes itself. The application object and modal answers come from
// TestApp.h.

#include <QColor>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include "tests/app/TestApp.h"

namespace slidetest {

// A JPEG of one colour with a dark square in its top-left quarter (so that turns can be
// told apart).
struct PictureFile {
    int width = 64;
    int height = 48;
    QColor color = Qt::red;
    bool grey = false;
};

// Cuts a file down to its first bytes.
void Truncate(const QString& path, qint64 bytes);

class Series {
  public:
    // Writes name as described and returns its path.
    QString Add(const QString& name, const PictureFile& picture);
    // count colour pictures "p1.jpg".. of one size, each of its own hue.
    QStringList AddMany(int count, int width, int height);
    QString Path(const QString& name) const { return dir_.filePath(name); }

  private:
    QTemporaryDir dir_;
};

}  // namespace slidetest
