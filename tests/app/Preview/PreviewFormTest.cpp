#include <gtest/gtest.h>
#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QMouseEvent>
#include <QScreen>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include "app/Preview/PreviewForm.h"
#include "platform/testing/ScriptedMessageService.h"
#include "tests/app/QtPrinters.h"
#include "tests/app/TestApp.h"

namespace {

QByteArray Encoded(const QImage& image, const char* format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(image.save(&buffer, format));
    return bytes;
}

QImage Gradient(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            image.setPixel(x, y, qRgb(x % 256, y % 256, (x + y) % 256));
        }
    }
    return image;
}

// An APP1 segment right after SOI that tells a viewer to turn the picture 90 degrees.
QByteArray WithExifTurn(QByteArray jpeg) {
    const QByteArray tiff = QByteArray::fromHex(
        "49492a0008000000"          // little-endian TIFF header, first IFD at 8
        "0100"                      // one entry
        "120103000100000006000000"  // Orientation (0x0112), SHORT, 1, value 6
        "00000000");                // no next IFD
    const QByteArray payload = QByteArray("Exif\0\0", 6) + tiff;
    QByteArray segment = QByteArray::fromHex("ffe1");
    const quint16 length = qToBigEndian<quint16>(static_cast<quint16>(payload.size() + 2));
    segment.append(reinterpret_cast<const char*>(&length), 2);
    segment.append(payload);
    jpeg.insert(2, segment);
    return jpeg;
}

class PreviewTest : public ::testing::Test {
  protected:
    PreviewTest() { EnsureApp(); }

    QString File(const QString& name, const QByteArray& bytes) {
        const QString path = dir_.path() + "/" + name;
        WriteFileBytes(path, bytes);
        return path;
    }

    QTemporaryDir dir_;
    platform::ScriptedMessageService messages_;
    platform::ScopedMessageService scope_{messages_};
};

TEST(PreviewPlacement, FitsTheWorkArea) {
    const QRect screen(0, 0, 1024, 768);
    const QSize bars(16, 16), none(0, 0);
    const struct {
        QSize picture;
        QRect area;
        QRect client;
        bool maximised;
        QSize scrollBars;
    } cases[] = {
        {{100, 80}, screen, {410, 271, 204, 226}, false, none},
        {{4000, 3000}, screen, screen, true, bars},
        {{300, 2000}, screen, {360, 0, 304, 768}, false, none},
        {{1022, 100}, screen, {0, 271, 1024, 226}, false, none},
        {{100, 80}, {100, 50, 800, 600}, {398, 237, 204, 226}, false, bars},
        // Scrolling along one direction takes a bar's extent from the other: the client
        // grows by it.
        {{1200, 500}, screen, {0, 113, 1024, 542}, false, bars},
        {{300, 2000}, screen, {352, 0, 320, 768}, false, bars},
        // Taller than the box the status bar leaves (but not than the work area): it
        // scrolls down only, so the width makes room for that bar.
        {{640, 1010}, {0, 0, 1280, 1024}, {310, 0, 660, 1024}, false, bars},
        {{640, 1000}, {0, 0, 1280, 1024}, {318, 0, 644, 1024}, false, bars},  // the margin only
    };
    for (const auto& c : cases) {
        const TPreviewPlacement placement = FitPreviewWindow(c.picture, 22, c.area, c.scrollBars);
        EXPECT_EQ(placement.client, c.client) << c.picture.width() << "x" << c.picture.height();
        EXPECT_EQ(placement.maximised, c.maximised);
    }
}

TEST_F(PreviewTest, DepthsOfReadFiles) {
    QImage grey = Gradient(30, 20).convertToFormat(QImage::Format_Grayscale8);
    const struct {
        const char* name;
        QByteArray bytes;
        const char* text;
    } cases[] = {
        {"colour.jpg", Encoded(Gradient(100, 80), "jpeg"), "100 x 80 x 24b"},
        {"grey.jpeg", Encoded(grey, "jpeg"), "30 x 20 x 8"},
        {"true.bmp", Encoded(Gradient(9, 7), "bmp"), "9 x 7 x 24b"},
    };
    for (const auto& c : cases) {
        TfrmPreview form(nullptr, File(c.name, c.bytes));
        EXPECT_EQ(form.PanelText(1), c.text) << c.name;
    }
}

TEST_F(PreviewTest, NoExifTurn) {
    const QString path = File("turned.jpg", WithExifTurn(Encoded(Gradient(100, 80), "jpeg")));
    QImageReader turning(path);
    turning.setAutoTransform(true);
    ASSERT_EQ(turning.read().size(), QSize(80, 100)) << "the fixture asks for a turn";
    const TPreviewPicture picture = LoadPreviewPicture(path);
    EXPECT_EQ(picture.image.size(), QSize(100, 80));
}

// Only what cannot fit on the work area beside the status bar scrolls, every column and row
// can be seen, and a picture that fits is centred on black. The window, its frame included
// (the frame its owner has), lies on the work area.
TEST_F(PreviewTest, ThePictureIsWholeOnScreenWhereverItFits) {
    QWidget owner;
    owner.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&owner));
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    const QRect frame = owner.frameGeometry();
    const QRect inner = owner.geometry();
    const QRect area =
        screen.adjusted(inner.left() - frame.left(), inner.top() - frame.top(),
                        inner.right() - frame.right(), inner.bottom() - frame.bottom());
    const QSize sizes[] = {{100, 80},
                           {640, 480},
                           {area.width() / 2, area.height() - 10},
                           {area.width() + 200, area.height() / 2},
                           {area.width() + 50, area.height() + 50}};
    for (const QSize picture : sizes) {
        const QString path =
            File("fit.jpg", Encoded(Gradient(picture.width(), picture.height()), "jpeg"));
        TfrmPreview form(&owner, path);
        ASSERT_NE(form.PictureBox, nullptr);
        EXPECT_EQ(form.windowTitle(), "Image preview");
        EXPECT_EQ(form.PanelText(0), path);
        form.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
        if (!form.isMaximized()) {
            EXPECT_TRUE(screen.contains(form.frameGeometry()))
                << picture.width() << "x" << picture.height();
        }
        const QSize view = form.PictureBox->viewport()->size();
        const QScrollBar* across = form.PictureBox->horizontalScrollBar();
        const QScrollBar* down = form.PictureBox->verticalScrollBar();
        const bool scrollsAcross = picture.width() > area.width();
        const bool scrollsDown = picture.height() > area.height() - form.StatusBar->height();
        EXPECT_EQ(across->isVisible(), scrollsAcross) << picture.width() << "x" << picture.height();
        EXPECT_EQ(down->isVisible(), scrollsDown) << picture.width() << "x" << picture.height();
        EXPECT_EQ(std::max(view.width(), picture.width()), view.width() + across->maximum());
        EXPECT_EQ(std::max(view.height(), picture.height()), view.height() + down->maximum());
        if (!scrollsAcross) {
            EXPECT_EQ(form.PictureBox->PictureLeft(), (view.width() - picture.width()) / 2);
        }
        if (picture.width() == 100) {  // the smallest window, the picture in its middle
            EXPECT_EQ(form.size(), QSize(204, 204 + form.StatusBar->height()));
            EXPECT_EQ(form.PictureBox->PictureTop(), 62);
            EXPECT_EQ(QColor(form.grab().toImage().pixel(10, 10)), QColor(Qt::black));
        }
        QTest::keyClick(&form, Qt::Key_Escape);
        EXPECT_FALSE(form.isVisible());
    }
}

// The largest difference in brightness between any pixel of rect and the bar's own
// background: text drawn in a colour of its own stands out.
int Contrast(const QImage& bar, const QRect& rect) {
    const int background = qGray(bar.pixel(bar.width() - 3, bar.height() / 2));
    int most = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        for (int x = rect.left(); x <= rect.right(); ++x) {
            most = std::max(most, std::abs(qGray(bar.pixel(x, y)) - background));
        }
    }
    return most;
}

TEST_F(PreviewTest, TheStatusBarTextCanBeRead) {
    TfrmPreview form(nullptr, File("bar.jpg", Encoded(Gradient(300, 200), "jpeg")));
    ASSERT_NE(form.PictureBox, nullptr);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    const QImage bar = form.StatusBar->grab().toImage();
    const int h = bar.height();
    const QRect name(h + 2, 3, form.PanelWidth(0) - h - 6, h - 6);
    const QRect size(form.PanelWidth(0) + 6, 3, form.PanelWidth(1) - 6, h - 6);
    EXPECT_GT(Contrast(bar, name), 100) << "the file name";
    EXPECT_GT(Contrast(bar, size), 100) << "the size";
    form.close();
}

TEST_F(PreviewTest, LargePictureScrollsByDragging) {
    TfrmPreview form(nullptr, File("large.jpg", Encoded(Gradient(3000, 2500), "jpeg")));
    ASSERT_NE(form.PictureBox, nullptr);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    EXPECT_TRUE(form.isMaximized());
    QScrollBar* horizontal = form.PictureBox->horizontalScrollBar();
    QScrollBar* vertical = form.PictureBox->verticalScrollBar();
    EXPECT_TRUE(horizontal->isVisible());
    horizontal->setValue(100);
    vertical->setValue(100);
    QWidget* viewport = form.PictureBox->viewport();
    QTest::mousePress(viewport, Qt::LeftButton, {}, QPoint(100, 100));
    QMouseEvent move(QEvent::MouseMove, QPointF(60, 70), viewport->mapToGlobal(QPointF(60, 70)),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &move);
    EXPECT_EQ(horizontal->value(), 140);
    EXPECT_EQ(vertical->value(), 130);
    form.close();
}

// Larger than Qt's default allocation limit (256 MB once decoded).
TEST_F(PreviewTest, LargePhotoOpens) {
    QImage photo(8200, 8200, QImage::Format_RGB888);
    photo.fill(qRgb(40, 90, 160));
    const QString path = File("photo.jpg", Encoded(photo, "jpeg"));
    photo = QImage();
    EXPECT_EQ(LoadPreviewPicture(path).image.size(), QSize(8200, 8200));
}

TEST_F(PreviewTest, FilesThatCannotBeShown) {
    const QString bmpBytes = File("bmp-inside.jpg", Encoded(Gradient(9, 7), "bmp"));
    const QString cases[] = {
        File("picture.gif", "GIF89a\x01\x00\x01\x00\x00\x00\x00;"),
        File("broken.jpg", "\xFF\xD8 not really a JPEG"),
        bmpBytes,
        File("noextension", Encoded(Gradient(9, 7), "jpeg")),
    };
    for (const QString& path : cases) {
        ShowPreview(path);
        ASSERT_FALSE(messages_.Questions().empty());
        const auto box = messages_.Questions().back();
        EXPECT_EQ(box.text, "Can't full preview image '" + path + "' !");
        EXPECT_EQ(box.caption, "Error");
        EXPECT_EQ(box.icon, platform::MsgIcon::Warning);
    }
    const size_t shown = messages_.Questions().size();
    ShowPreview(dir_.path() + "/gone.jpg");
    EXPECT_EQ(messages_.Questions().size(), shown) << "a missing file shows nothing";

    // A readable one runs modally until Esc.
    const QString path = File("modal.jpg", Encoded(Gradient(50, 40), "jpeg"));
    QString seen;
    OnNextModal([&](QWidget* dialog) {
        if (auto* preview = qobject_cast<TfrmPreview*>(dialog)) {
            seen = preview->FileName();
        }
        QTest::keyClick(dialog, Qt::Key_Escape);
    });
    ShowPreview(path);
    EXPECT_EQ(seen, path);
    EXPECT_EQ(messages_.Questions().size(), shown);
}

}  // namespace
