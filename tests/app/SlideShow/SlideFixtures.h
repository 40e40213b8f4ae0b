#pragma once
// Fixtures of the slideshow tests: the application object, JPEG files written at run time
// by Qt's image writer, and the questions the user is asked answered from a script.

#include <QApplication>
#include <QColor>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>

namespace slidetest {

QApplication& App();

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

// A folder of pictures that removes itself.
class Series {
  public:
    Series();
    // Writes name as described and returns its path.
    QString Add(const QString& name, const PictureFile& picture);
    // count colour pictures "p1.jpg".. of one size, each of its own hue.
    QStringList AddMany(int count, int width, int height);
    QString Path(const QString& name) const { return dir_.filePath(name); }

  private:
    QTemporaryDir dir_;
};

// Runs action once the next modal window is up (a dialog's exec), then returns.
void WhenModal(std::function<void(QWidget*)> action);

}  // namespace slidetest
