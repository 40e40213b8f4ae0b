// The decoder base: the decode frame, callbacks, error texts, display coefficient and the
// diagnostics.

#include <gtest/gtest.h>

#include <QLoggingCategory>
#include <QString>

#include <stdexcept>
#include <vector>

#include "Components/ImgPanel/ImgCtrl.h"
#include "Components/ImgPanel/ImgDebug.h"
#include "Components/ImgPanel/ImgErrors.h"

namespace {

// A decoder whose body is given by the test.
class ScriptedDecoder : public TImgCtrl {
  public:
    std::function<void(ScriptedDecoder&)> body;

    void LoadFromFile(const std::string& name) override {
        TImgCtrl::LoadFromFile(name);
        RunDecodeFrame(name, [this] { body(*this); });
    }
    void MakePicture() { SetPicture(DibCreate(4, 3, 24)); }
    void Progress(int from, int to, TImgEvent event) { DoProgress(from, to, event); }
    void Check() const { CheckAbort(); }
};

struct Recorded {
    std::vector<std::tuple<int, int, TImgEvent, bool>> progress;  // from, to, event, had picture
    std::vector<std::string> errors;
};

void Record(ScriptedDecoder& decoder, Recorded& out) {
    decoder.OnProgress = [&out](TImgCtrl*, PackedDib dib, int from, int to, TImgEvent e) {
        out.progress.emplace_back(from, to, e, dib != nullptr);
    };
    decoder.OnError = [&out](TImgCtrl*, const std::string& text) { out.errors.push_back(text); };
}

TEST(DecodeFrame, SuccessReportsFinishedAndKeepsPictureAndName) {
    ScriptedDecoder decoder;
    Recorded seen;
    Record(decoder, seen);
    decoder.body = [](ScriptedDecoder& d) { d.MakePicture(); };
    decoder.LoadFromFile("a.pic");
    EXPECT_EQ(decoder.ErrorCode(), 0u);
    EXPECT_NE(decoder.Picture(), nullptr);
    EXPECT_EQ(decoder.FileName(), "a.pic");
    ASSERT_EQ(seen.progress.size(), 1u);
    EXPECT_EQ(std::get<2>(seen.progress[0]), TImgEvent::Finished);
    EXPECT_TRUE(std::get<3>(seen.progress[0]));
    EXPECT_TRUE(seen.errors.empty());
}

struct FailureCase {
    const char* what;
    std::function<void()> fail;
    unsigned long code;
    std::string text;
};

TEST(DecodeFrame, EveryFailureEndsInOneCodeNoPictureAndOneErrorCall) {
    const std::vector<FailureCase> cases = {
        {"code", [] { throw TImgDecodeError{ImgError::OpenFailed}; }, 110,
         "The system cannot open the device or file specified."},
        {"own code", [] { throw TImgDecodeError{ImgError::InvalidBitmap}; }, 3002,
         "Invalid bitmap file."},
        {"other exception", [] { throw std::runtime_error("boom"); }, 3000, "Unknown error."},
        {"not an exception class", [] { throw 42; }, 3000, "Unknown error."},
        {"code 0 is no success", [] { throw TImgDecodeError{0}; }, 3000, "Unknown error."},
    };
    for (const FailureCase& c : cases) {
        ScriptedDecoder decoder;
        Recorded seen;
        Record(decoder, seen);
        decoder.body = [&c](ScriptedDecoder& d) {
            d.MakePicture();
            c.fail();
        };
        decoder.LoadFromFile("b.pic");
        EXPECT_EQ(decoder.ErrorCode(), c.code) << c.what;
        EXPECT_EQ(decoder.Picture(), nullptr) << c.what;
        EXPECT_EQ(decoder.FileName(), "") << c.what;
        EXPECT_TRUE(seen.progress.empty()) << c.what;
        ASSERT_EQ(seen.errors.size(), 1u) << c.what;
        EXPECT_EQ(seen.errors[0], c.text) << c.what;
    }
}

TEST(DecodeFrame, NextDecodeDiscardsThePreviousResult) {
    ScriptedDecoder decoder;
    decoder.body = [](ScriptedDecoder& d) { d.MakePicture(); };
    decoder.LoadFromFile("first");
    ASSERT_NE(decoder.Picture(), nullptr);
    decoder.body = [](ScriptedDecoder&) { throw TImgDecodeError{ImgError::ReadFault}; };
    decoder.LoadFromFile("second");
    EXPECT_EQ(decoder.Picture(), nullptr);
    EXPECT_EQ(decoder.FileName(), "");
    EXPECT_EQ(decoder.ErrorCode(), 30u);
    decoder.body = [](ScriptedDecoder&) {};
    decoder.LoadFromFile("third");
    EXPECT_EQ(decoder.ErrorCode(), 0u);  // a success clears the old code
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

TEST(DecodeFrame, AbortStaysRequestedAndStopsEveryLaterDecode) {
    ScriptedDecoder decoder;
    decoder.body = [](ScriptedDecoder& d) { d.Check(); };
    decoder.LoadFromFile("x");
    EXPECT_EQ(decoder.ErrorCode(), 0u);
    decoder.AbortLoading();
    EXPECT_TRUE(decoder.AbortRequested());
    for (int i = 0; i < 2; ++i) {
        decoder.LoadFromFile("x");
        EXPECT_EQ(decoder.ErrorCode(), ImgError::Aborted);
    }
}

TEST(DecoderBase, CallbacksAreOptionalAndNegativeRowsAreClamped) {
    ScriptedDecoder decoder;
    EXPECT_NO_THROW(decoder.Progress(0, 0, TImgEvent::HeaderRead));  // nothing assigned
    Recorded seen;
    Record(decoder, seen);
    decoder.Progress(-20, 0, TImgEvent::RowsDecoded);
    decoder.Progress(40, 20, TImgEvent::RowsDecoded);
    ASSERT_EQ(seen.progress.size(), 2u);
    EXPECT_EQ(std::get<0>(seen.progress[0]), 0);
    EXPECT_EQ(std::get<1>(seen.progress[0]), 0);
    EXPECT_EQ(std::get<0>(seen.progress[1]), 40);  // either order is kept as given
    EXPECT_EQ(std::get<1>(seen.progress[1]), 20);
}

TEST(DecoderBase, DefaultsAndScanlineFloor) {
    ScriptedDecoder decoder;
    EXPECT_EQ(decoder.ScalerMode(), sctSquare);
    EXPECT_EQ(decoder.FilterKind(), 12);
    EXPECT_EQ(decoder.DisplayScanlines(), 20u);
    EXPECT_EQ(decoder.Picture(), nullptr);
    decoder.SetDisplayScanlines(0);
    EXPECT_EQ(decoder.DisplayScanlines(), 1u);
}

TEST(ErrorTexts, FixedTableAndEmptyForUnknownCodes) {
    EXPECT_EQ(FormatErrorMessage(3000), "Unknown error.");
    EXPECT_EQ(FormatErrorMessage(3001), "Error setting tiff directory.");
    EXPECT_EQ(FormatErrorMessage(3002), "Invalid bitmap file.");
    EXPECT_EQ(FormatErrorMessage(3003), "");
    EXPECT_EQ(FormatErrorMessage(4000), "");
    EXPECT_EQ(FormatErrorMessage(2), "");
    for (unsigned long code : {8ul, 11ul, 30ul, 110ul, 995ul}) {
        EXPECT_FALSE(FormatErrorMessage(code).empty()) << code;
    }
}

struct CoeffCase {
    unsigned maxW, maxH, w, h;
    double expected;
};

TEST(CalcDisplayCoeffTable, FitsOrKeepsSize) {
    const CoeffCase cases[] = {
        {0, 600, 800, 600, 0.1},   {800, 0, 800, 600, 0.1},       {800, 600, 799, 599, 1.0},
        {800, 600, 800, 600, 1.0}, {800, 600, 1600, 600, 0.5},    {800, 600, 800, 1200, 0.5},
        {800, 600, 799, 600, 1.0}, {100, 100, 300, 200, 1.0 / 3},
    };
    for (const CoeffCase& c : cases) {
        EXPECT_DOUBLE_EQ(CalcDisplayCoeff(c.maxW, c.maxH, c.w, c.h), c.expected)
            << c.maxW << "x" << c.maxH << " " << c.w << "x" << c.h;
    }
}

// Collects what goes through Qt's message handler.
class MessageCatcher {
  public:
    MessageCatcher() {
        messages().clear();
        previous_ = qInstallMessageHandler(&Catch);
    }
    ~MessageCatcher() { qInstallMessageHandler(previous_); }
    static std::vector<QString>& messages() {
        static std::vector<QString> all;
        return all;
    }

  private:
    static void Catch(QtMsgType, const QMessageLogContext&, const QString& text) {
        messages().push_back(text);
    }
    QtMessageHandler previous_;
};

TEST(Diagnostics, AssertReportLogsWhereAndGoesOn) {
    MessageCatcher catcher;
    EXPECT_EQ(ImgAssertReport("Filters", "filter_process_block", 630), 0);
    ASSERT_EQ(MessageCatcher::messages().size(), 1u);
    const QString text = MessageCatcher::messages()[0];
    EXPECT_TRUE(text.contains("Filters")) << text.toStdString();
    EXPECT_TRUE(text.contains("630"));
    EXPECT_TRUE(text.contains("filter_process_block"));
}

TEST(Diagnostics, TraceIsSilentUntilSwitchedOn) {
    MessageCatcher catcher;
    ImgTrace("processed : %d", 15);
    EXPECT_TRUE(MessageCatcher::messages().empty());
    QLoggingCategory::setFilterRules("orvane.image.trace.debug=true");
    EXPECT_TRUE(ImgTraceEnabled());
    ImgTrace("processed : %d", 15);
    QLoggingCategory::setFilterRules("");
    ASSERT_EQ(MessageCatcher::messages().size(), 1u);
    EXPECT_EQ(MessageCatcher::messages()[0], "processed : 15");
    EXPECT_FALSE(ImgTraceEnabled());
}

}  // namespace
