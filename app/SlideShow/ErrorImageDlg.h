#pragma once
// The dialog that refuses a series whose pictures differ in size: it shows the offending
// picture, its file name and why the series cannot be shown.

#include <QDialog>

#include "imaging/PackedDib.h"

class QLabel;

class TErrorImageDlg : public QDialog {
    Q_OBJECT
  public:
    TErrorImageDlg(const DibInfoHeader* picture, const QString& fileName,
                   QWidget* parent = nullptr);

    static inline const QString kText = QStringLiteral(
        "All images in the series must have same size and orientation. This image has "
        "different size (orientation) from other images. Please select images again!");

  private:
    void AddPicture(const DibInfoHeader* picture, const QRect& area);
    void AddStatusBar(const QString& fileName, int top);
};

// Beeps and shows the dialog modally.
void ErrorImageDlg(const DibInfoHeader* picture, const QString& fileName, QWidget* parent);
