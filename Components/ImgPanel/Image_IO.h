#pragma once
// The common shape of image-format plug-ins that load a file into a 24-bit image or save
// one to a file: the format supplies LoadImageData and SaveImageData, this base carries
// the image, a quality setting with its equivalent bits-per-pixel budget, progress
// reports and a cancel request.
//
// Threads: a load or save runs on the caller's thread; CancelOperation may be called from
// any thread and stops it at its next DoOnProgress.

#include <atomic>
#include <functional>
#include <string>

#include <QImage>
#include <QObject>

class TImage_IO : public QObject {
  public:
    using ProgressEvent = std::function<void(TImage_IO* Sender, int PercentDone)>;

    static constexpr double kDefaultQuality = 75.0;

    explicit TImage_IO(QObject* Owner = nullptr);
    ~TImage_IO() override;

    // Clear the cancel request, then load name into Bitmap() or save Bitmap() to it. What
    // the result means is the format's; a cancelled operation throws EAbort.
    int LoadFromFile(const std::string& name);
    int SaveToFile(const std::string& name);

    // Asks the running load or save to stop at its next progress report.
    virtual void CancelOperation();

    // The image loaded or to be saved, 24 bits per pixel. Setting copies the given image,
    // converted to 24 bits; a null image changes nothing.
    const QImage& GetAttachedBitmap() const { return bitmap_; }
    QImage& GetAttachedBitmap() { return bitmap_; }
    void SetAttachedBitmap(const QImage& bitmap);

    // Quality 0 to 100 and the bits-per-pixel budget 0 to 24; setting one sets the other
    // (the two mappings are not inverse to each other below quality 88).
    double Quality() const { return quality_; }
    void SetQuality(double quality);
    double MaxBitPerPixel() const { return maxBitPerPixel_; }
    void SetMBPP(double bitsPerPixel);

    std::string FormatName = "None";
    ProgressEvent OnProgress;

  protected:
    virtual int LoadImageData(QImage& bitmap, const std::string& fileName) = 0;
    virtual int SaveImageData(QImage& bitmap, const std::string& fileName) = 0;

    // For formats during a load or save: reports percent, then throws
    // EAbort("Operation Terminated Outside Decoder") when a cancel was asked for.
    void DoOnProgress(int percent);
    // Reports percent without looking at the cancel request.
    void DoProgressNoCancel(int percent);

  private:
    QImage bitmap_;
    double quality_ = kDefaultQuality;
    double maxBitPerPixel_ = 0.0;
    std::atomic<bool> cancel_{false};
};
