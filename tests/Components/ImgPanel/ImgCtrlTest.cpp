// The decoder base: the decode frame and its failures.

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "Components/ImgPanel/ImgCtrl.h"
#include "Components/ImgPanel/ImgErrors.h"

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

}  // namespace
