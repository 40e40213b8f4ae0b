// The decoder base (the decode frame and its failures) and the image load/save base
// (quality and budget clamps and mappings, cancelling, the image).

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "Components/ImgPanel/Image_IO.h"
#include "Components/ImgPanel/ImgCtrl.h"
#include "Components/ImgPanel/ImgErrors.h"
#include "imaging/EAbort.h"

namespace {

// A decoder whose body is given by the test; it records what its callbacks receive.
class ScriptedDecoder : public TImgCtrl {
  public:
    std::function<void(ScriptedDecoder&)> body;
    std::vector<TImgEvent> events;
    std::vector<std::string> errors;

    ScriptedDecoder() {
        OnProgress = [this](TImgCtrl*, PackedDib, int, int, TImgEvent e) { events.push_back(e); };
        OnError = [this](TImgCtrl*, const std::string& text) { errors.push_back(text); };
    }
    void LoadFromFile(const std::string& name) override {
        TImgCtrl::LoadFromFile(name);
        RunDecodeFrame(name, [this] { body(*this); });
    }
    void MakePicture() { SetPicture(DibCreate(4, 3, 24)); }
};

TEST(DecodeFrame, EveryFailureEndsInOneCodeNoPictureAndOneErrorCall) {
    const struct {
        const char* what;
        std::function<void()> fail;
        unsigned long code;
        std::string text;
    } cases[] = {
        {"code", [] { throw TImgDecodeError{ImgError::OpenFailed}; }, 110,
         "The system cannot open the device or file specified."},
        {"own code", [] { throw TImgDecodeError{ImgError::InvalidBitmap}; }, 3002,
         "Invalid bitmap file."},
        {"other exception", [] { throw std::runtime_error("boom"); }, 3000, "Unknown error."},
        {"not an exception class", [] { throw 42; }, 3000, "Unknown error."},
        {"code 0 is no success", [] { throw TImgDecodeError{0}; }, 3000, "Unknown error."},
    };
    for (const auto& c : cases) {
        ScriptedDecoder decoder;
        decoder.body = [](ScriptedDecoder& d) { d.MakePicture(); };
        decoder.LoadFromFile("a.pic");  // a success first: nothing of it may outlive the failure
        ASSERT_EQ(decoder.FileName(), "a.pic");
        decoder.events.clear();
        decoder.body = [&c](ScriptedDecoder& d) {
            d.MakePicture();
            c.fail();
        };
        decoder.LoadFromFile("b.pic");
        EXPECT_EQ(decoder.ErrorCode(), c.code) << c.what;
        EXPECT_EQ(decoder.Picture(), nullptr) << c.what;
        EXPECT_EQ(decoder.FileName(), "") << c.what;
        EXPECT_TRUE(decoder.events.empty()) << c.what;
        EXPECT_EQ(decoder.errors, std::vector<std::string>{c.text}) << c.what;
    }
}

TEST(DecodeFrame, ThrowingCallbacksNeverEscape) {
    ScriptedDecoder decoder;
    decoder.OnProgress = [](TImgCtrl*, PackedDib, int, int, TImgEvent) {
        throw std::runtime_error("progress handler");
    };
    decoder.OnError = [](TImgCtrl*, const std::string&) { throw std::runtime_error("error"); };
    decoder.body = [](ScriptedDecoder&) {};
    EXPECT_NO_THROW(decoder.LoadFromFile("c"));
    EXPECT_EQ(decoder.ErrorCode(), 3000u);  // the failing Finished handler is a failure
}

// A format that reports progress in four steps and records how far it got.
class SteppingFormat : public TImage_IO {
  public:
    int reached = 0;

  protected:
    int LoadImageData(QImage&, const std::string&) override { return Steps(); }
    int SaveImageData(QImage&, const std::string&) override { return Steps(); }

  private:
    int Steps() {
        for (reached = 0; reached < 4; ++reached) {
            DoOnProgress(reached * 25);
        }
        return 7;
    }
};

TEST(Image_IO, QualityAndBitBudgetSetEachOtherWithinTheirRanges) {
    SteppingFormat io;
    EXPECT_EQ(io.Quality(), 75.0);
    EXPECT_DOUBLE_EQ(io.MaxBitPerPixel(), 0.46875);
    EXPECT_EQ(io.FormatName, "None");
    const struct {
        bool quality;  // else the budget is set
        double value, quality_, budget;
    } cases[] = {{true, 150, 100, 24}, {true, -5, 0, 0},
                 {true, 88, 88, 1},    {true, 94, 94, 12.5},
                 {false, 30, 100, 24}, {false, 1, 88, 1},
                 {false, 2, 78, 2},    {false, 0.46875, 41.25, 0.46875}};
    for (const auto& c : cases) {
        c.quality ? io.SetQuality(c.value) : io.SetMBPP(c.value);
        EXPECT_DOUBLE_EQ(io.Quality(), c.quality_) << c.value;
        EXPECT_DOUBLE_EQ(io.MaxBitPerPixel(), c.budget) << c.value;
    }
}

TEST(Image_IO, CancelStopsTheRunningOperationOnlyAndProgressIsReported) {
    SteppingFormat io;
    std::vector<int> percents;
    io.OnProgress = [&](TImage_IO*, int percent) {
        percents.push_back(percent);
        if (percent == 50) {
            io.CancelOperation();
        }
    };
    try {
        io.SaveToFile("x");
        FAIL() << "not cancelled";
    } catch (const EAbort& stop) {
        EXPECT_STREQ(stop.what(), "Operation Terminated Outside Decoder");
    }
    EXPECT_EQ(percents, (std::vector<int>{0, 25, 50}));
    io.OnProgress = nullptr;
    io.CancelOperation();  // cleared by the next load
    EXPECT_EQ(io.LoadFromFile("x"), 7);
    EXPECT_EQ(io.reached, 4);
}

TEST(Image_IO, AttachedBitmapIsKeptAtTwentyFourBits) {
    SteppingFormat io;
    QImage indexed(2, 2, QImage::Format_Indexed8);
    indexed.setColorTable({qRgb(1, 2, 3)});
    indexed.fill(0);
    io.SetAttachedBitmap(indexed);
    EXPECT_EQ(io.GetAttachedBitmap().depth(), 24);
    EXPECT_EQ(io.GetAttachedBitmap().pixel(1, 1), qRgb(1, 2, 3));
    io.SetAttachedBitmap(QImage());
    EXPECT_EQ(io.GetAttachedBitmap().size(), QSize(2, 2));
}

}  // namespace
