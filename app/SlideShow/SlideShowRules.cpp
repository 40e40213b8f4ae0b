#include "app/SlideShow/SlideShowRules.h"

#include <algorithm>

namespace slideshow {

int OptiToQuality(int level) {
    switch (level) {
        case 0:
            return 8;
        case 1:
            return 4;
        case 2:
            return 2;
        case 3:
            return 1;
        default:
            return 2;
    }
}

int DefOptimizationFor(uint64_t physicalBytes) {
    if (physicalBytes < 0x4000000u) {
        return 0;
    }
    if (physicalBytes < 0x6000000u) {
        return 1;
    }
    return 2;
}

int ClampPreviewLevel(int level) {
    return level >= 0 && level <= 3 ? level : 3;
}

QString PreviewQualityHint(int level) {
    switch (level) {
        case 0:
            return QStringLiteral("Maximum speed (less then 64M of RAM)");
        case 1:
            return QStringLiteral("Normal speed (above then 64M of RAM)");
        case 2:
            return QStringLiteral("Normal quality (96M of RAM or above)");
        case 3:
            return QStringLiteral("Maximum quality (256M of RAM or above)");
        default:
            return {};
    }
}

int SpeedToDelay(int position) {
    return kSpeedSum - position;
}

int DelayToSpeed(int delayMs) {
    // Computed in 64 bits: a huge delay must not wrap into a fast speed.
    const int64_t position = int64_t{kSpeedSum} - delayMs;
    return static_cast<int>(std::clamp<int64_t>(position, kSpeedMin, kSpeedMax));
}

int PreviewDelay(int delayMs) {
    return delayMs < 1 ? kDefaultDelay : delayMs;
}

unsigned char StepPercent(int index, int count) {
    if (count <= 0) {
        return 100;
    }
    const int64_t percent = (int64_t{100} * index + 100) / count;
    return static_cast<unsigned char>(std::clamp<int64_t>(percent, 0, 100));
}

CloseQuestion CloseQuestionFor(bool reduced, bool changed, bool empty) {
    if (reduced) {
        return CloseQuestion::None;
    }
    if (changed) {
        return CloseQuestion::YesNoCancel;
    }
    return empty ? CloseQuestion::YesNo : CloseQuestion::None;
}

CloseDecision DecideClose(bool reduced, bool changed, bool empty,
                          const std::function<CloseAnswer(CloseQuestion)>& ask) {
    const CloseQuestion question = CloseQuestionFor(reduced, changed, empty);
    if (question == CloseQuestion::None) {
        return {true, 2};
    }
    const CloseAnswer answer = ask ? ask(question) : CloseAnswer::No;
    if (answer == CloseAnswer::Yes) {
        return {true, 1};
    }
    if (answer == CloseAnswer::Cancel && question == CloseQuestion::YesNoCancel) {
        return {false, 0};
    }
    return {true, 2};
}

}  // namespace slideshow
