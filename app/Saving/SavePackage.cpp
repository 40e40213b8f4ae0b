#include "app/Saving/SavePackage.h"

#include <sys/stat.h>
#include <QCoreApplication>
#include <QFile>

#include <cerrno>
#include <climits>

#include "app/Dialogs/QuestionForm.h"
#include "app/Saving/VolumeHelpers.h"
#include "app/Series/NameRules.h"
#include "app/Series/SeriesOrder.h"
#include "platform/DateTimeFormat.h"
#include "platform/Paths.h"

using platform::CopyMode;
using platform::CopyResult;
using platform::CopyStage;
using platform::MsgButton;
using platform::MsgIcon;

namespace {

// Answers of the overwrite question, as modal results.
constexpr int kAnswerCancel = 2;
constexpr int kAnswerYes = 6;
constexpr int kAnswerNo = 7;
constexpr int kAnswerNoToAll = 9;
constexpr int kAnswerYesToAll = 10;

QString WithoutSeparators(QString text) {
    for (QChar c : {u'/', u'.', u':'}) {
        text.replace(c, u'-');
    }
    return text;
}

std::string Encoded(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

// Whether two paths name one file (hard links and symlinks included).
bool SameFile(const QString& a, const QString& b) {
    struct stat first {};
    struct stat second {};
    return ::stat(Encoded(a).c_str(), &first) == 0 && ::stat(Encoded(b).c_str(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

TCopyError MissingFileError(CopyStage stage) {
    return stage == CopyStage::OpenSource ? TCopyError::FileNotFound : TCopyError::PathNotFound;
}

TCopyError NetworkError(int error) {
    switch (error) {
        case EHOSTDOWN:
        case EHOSTUNREACH:
        case ECONNREFUSED:
            return TCopyError::RemoteNotAvailable;
        case ENETUNREACH:
            return TCopyError::NetworkPathNotFound;
        case ETIMEDOUT:
            return TCopyError::NetworkBusy;
        case ESTALE:
        case ENETDOWN:
        case ENETRESET:
        case ECONNRESET:
        case ECONNABORTED:
        case ENOLINK:
            return TCopyError::NetworkGone;
        case ENOKEY:
        case EKEYEXPIRED:
        case EKEYREJECTED:
        case EKEYREVOKED:
            return TCopyError::NetworkAccessDenied;
        default:
            return TCopyError::Other;
    }
}

TCopyErrorReport Stop(const QString& text) {
    return {text, QStringLiteral("Error"), {MsgButton::Ok}, MsgIcon::Warning, TErrorAction::Stop};
}

TCopyErrorReport AskToContinue(const QString& text) {
    return {text,
            QStringLiteral("Continue save ?"),
            {MsgButton::Yes, MsgButton::No},
            MsgIcon::Information,
            TErrorAction::AskContinue};
}

const QString kGap = QStringLiteral("  ");

}  // namespace

QString DateFolderName(const QDate& date) {
    return WithoutSeparators(platform::ShortDateText(date));
}

QString TimeStampPath(const QDateTime& now) {
    return DateFolderName(now.date()) + u'/' + WithoutSeparators(platform::TimeText(now.time()));
}

QString TargetFolder(const QString& destination, const QString& additionalPath) {
    // Without its trailing '/', the root folder becomes "" so that joining never
    // doubles the separator.
    QString base = destination;
    while (base.endsWith(u'/')) {
        base.chop(1);
    }
    if (additionalPath.isEmpty()) {
        return base + u'/';
    }
    const QString joined =
        additionalPath.startsWith(u'/') ? base + additionalPath : base + u'/' + additionalPath;
    return platform::WithTrailingSlash(joined);
}

long long FirstCounter(const QString& firstNumber) {
    return ParseInteger(firstNumber).value_or(1);
}

QString PackageFileName(const QString& prefix, long long counter, int digits, const QString& suffix,
                        const QString& extension) {
    return prefix + PadCounter(counter, digits) + suffix + extension;
}

bool FitsPathLimits(const QString& path) {
    const QByteArray bytes = QFile::encodeName(path);
    if (bytes.size() >= PATH_MAX) {
        return false;
    }
    for (const QByteArray& name : bytes.split('/')) {
        if (name.size() > NAME_MAX) {
            return false;
        }
    }
    return true;
}

bool IsAtOrBelow(const QString& path, const QString& folder) {
    return platform::WithTrailingSlash(path).startsWith(platform::WithTrailingSlash(folder));
}

QString LongestExtension(const QStringList& series) {
    QString longest;
    qsizetype longestBytes = -1;
    for (const QString& path : series) {
        const QString extension = platform::ExtensionPart(path);
        const qsizetype bytes = QFile::encodeName(extension).size();
        if (bytes > longestBytes) {
            longest = extension;
            longestBytes = bytes;
        }
    }
    return longestBytes < 0 ? QStringLiteral(".jpg") : longest;
}

TCopyError CopyErrorOf(const CopyResult& result) {
    switch (result.error) {
        case 0:
            return TCopyError::None;
        case EEXIST:
            return result.stage == CopyStage::CreateTarget ? TCopyError::FileExists
                                                           : TCopyError::Other;
        case ENOENT:
        case ENOTDIR:
            return MissingFileError(result.stage);
        case EACCES:
        case EPERM:
            return TCopyError::AccessDenied;
        case ENOMEM:
            return TCopyError::OutOfMemory;
        case ENODEV:
        case ENXIO:
            return TCopyError::InvalidDrive;
        case EXDEV:
            return TCopyError::NotSameDevice;
        case EROFS:
            return TCopyError::WriteProtected;
        case ENOMEDIUM:
            return TCopyError::NotReady;
        case ENOSPC:
        case EDQUOT:
            return TCopyError::DiskFull;
        default:
            return NetworkError(result.error);
    }
}

TCopyErrorReport CopyErrorReport(TCopyError error, const QString& target,
                                 const QString& destinationField, const QString& drive) {
    switch (error) {
        case TCopyError::FileNotFound:
            return AskToContinue(target + kGap + "The system cannot find the file specified");
        case TCopyError::PathNotFound:
            return Stop(u'\'' + destinationField + u'\'' + kGap + "Path Not Found !");
        case TCopyError::AccessDenied:
            return Stop(target + kGap + "Access Denied !");
        case TCopyError::OutOfMemory:
            return Stop(
                QStringLiteral("Not enough storage is available to complete this operation."));
        case TCopyError::InvalidDrive:
            return Stop(QStringLiteral("The system cannot find the drive specified."));
        case TCopyError::NotSameDevice:
            return AskToContinue(target + kGap +
                                 "The system cannot move the file to a different disk drive.");
        case TCopyError::WriteProtected:
            return Stop(QStringLiteral("The media is write protected."));
        case TCopyError::NotReady:
            return Stop(QStringLiteral("The device is not ready."));
        case TCopyError::DiskFull:
            return Stop(drive + u' ' + "The disk is full.");
        case TCopyError::RemoteNotAvailable:
            return Stop(QStringLiteral("The remote computer is not available."));
        case TCopyError::NetworkPathNotFound:
            return Stop(QStringLiteral("The network path was not found."));
        case TCopyError::NetworkBusy:
            return Stop(QStringLiteral("The network is busy."));
        case TCopyError::NetworkGone:
            return Stop(
                QStringLiteral("The specified network resource or device is no longer available."));
        case TCopyError::NetworkAccessDenied:
            return Stop(QStringLiteral("Network access is denied."));
        case TCopyError::FileExists:
            return {{}, {}, {}, MsgIcon::None, TErrorAction::AskOverwrite};
        case TCopyError::None:
        case TCopyError::Other:
            break;
    }
    return {QStringLiteral("Can't copy file!"),
            QStringLiteral("Error"),
            {MsgButton::Ok},
            MsgIcon::Error,
            TErrorAction::Continue};
}

namespace {

TSaveServices WithDefaults(TSaveServices services) {
    if (!services.copy) {
        services.copy = [](const QString& source, const QString& target, CopyMode mode) {
            return platform::CopyFile(source, target, mode);
        };
    }
    if (!services.readablePath) {
        services.readablePath = [](const QString& path) { return path; };
    }
    if (!services.askOverwrite) {
        services.askOverwrite = ShowQuestion;
    }
    if (!services.driveType) {
        services.driveType = [](const QString& path) {
            return platform::VolumeTable::System().TypeOfPath(Encoded(path));
        };
    }
    if (!services.driveOf) {
        services.driveOf = [](const QString& path) {
            const auto drive = platform::VolumeTable::System().DriveOfPath(Encoded(path));
            return drive ? QFile::decodeName(drive->mountPoint.c_str()) : QStringLiteral("/");
        };
    }
    return services;
}

// One save, from the dialog's OK to the last picture or a stop. The overwrite answer
// given with "to All" lives as long as this object.
class TPackageSaver {
  public:
    TPackageSaver(const QStringList& series, const TSaveEntries& entries, TSaveServices services)
        : services_(WithDefaults(std::move(services))),
          entries_(entries),
          list_(series),
          folder_(TargetFolder(entries.destination, entries.additionalPath)),
          step_(100.0L / static_cast<long double>(series.size())) {
        RotateToPicture(list_, ParseInteger(entries.beginFrom).value_or(0));
    }

    TSaveOutcome Run() {
        Call(services_.progress.show);
        const long long first = FirstCounter(entries_.firstNumber);
        for (int i = 0; i < list_.size(); ++i) {
            const QString target =
                folder_ + PackageFileName(entries_.prefix, first + i, entries_.digits,
                                          entries_.suffix, platform::ExtensionPart(list_[i]));
            ComeBack();
            Call(services_.progress.label, "Copy file '" + target + "'");
            if (!SaveOne(i, target)) {
                outcome_.stopped = true;
                break;
            }
            ComeBack();
            Call(services_.progress.position, static_cast<int>((i + 1) * step_));
        }
        if (!aside_) {
            Call(services_.progress.hide);
        }
        return outcome_;
    }

  private:
    template <class Function, class... Args>
    static void Call(const Function& function, Args&&... args) {
        if (function) {
            function(std::forward<Args>(args)...);
        }
    }

    // The progress box stays on top of every other window: it steps aside while a
    // question or a message is up, and comes back at the next step of the save.
    void StepAside() {
        if (!aside_) {
            Call(services_.progress.hide);
            aside_ = true;
        }
    }

    void ComeBack() {
        if (aside_) {
            Call(services_.progress.restore);
            aside_ = false;
        }
    }

    // Removable and CD-ROM sources are locked while read where the system offers a lock;
    // without one, the drive is not even looked up (that reads the mount table).
    void LockSourceVolume(const QString& source) {
        if (GetPlatformKind() == pkUnknown) {
            return;
        }
        const platform::DriveType type = services_.driveType(source);
        if (type != platform::DriveType::Removable && type != platform::DriveType::CdRom) {
            return;
        }
        const std::string drive = Encoded(services_.driveOf(source));
        if (VolumeHandle volume = OpenVolume(drive)) {
            LockVolume(volume, drive, 0, 0);
        }
    }

    // False when the save stops here.
    bool SaveOne(int i, const QString& target) {
        const QString source = services_.readablePath(list_[i]);
        LockSourceVolume(source);
        const CopyResult result = services_.copy(source, target, CopyMode::FailIfExists);
        if (result.Ok()) {
            outcome_.written.append(target);
            return true;
        }
        return HandleFailure(CopyErrorOf(result), i, target);
    }

    bool HandleFailure(TCopyError error, int i, const QString& target) {
        const TCopyErrorReport report =
            CopyErrorReport(error, target, entries_.destination, services_.driveOf(target));
        if (report.action == TErrorAction::AskOverwrite) {
            return HandleExistingTarget(i, target);
        }
        StepAside();
        const MsgButton answer =
            platform::ShowMessage(report.text, report.caption, report.buttons, report.icon);
        switch (report.action) {
            case TErrorAction::Stop:
                return false;
            case TErrorAction::AskContinue:
                ++outcome_.skipped;
                return answer == MsgButton::Yes;
            default:
                ++outcome_.skipped;
                return true;
        }
    }

    int OverwriteAnswer(const QString& target) {
        if (!ask_) {
            return remembered_;
        }
        StepAside();
        return services_.askOverwrite(target + " already exist. Do you want to replace them?",
                                      QStringLiteral("Save file"),
                                      QStringLiteral("IDI_EXCLAMATION"));
    }

    bool HandleExistingTarget(int i, const QString& target) {
        const int answer = OverwriteAnswer(target);
        if (answer == kAnswerCancel) {
            return false;
        }
        if (answer == kAnswerYesToAll || answer == kAnswerNoToAll) {
            ask_ = false;
            remembered_ = answer == kAnswerYesToAll ? kAnswerYes : kAnswerNo;
        }
        if (answer == kAnswerYes || answer == kAnswerYesToAll) {
            return ReplaceTarget(i, target);
        }
        ++outcome_.skipped;
        return true;
    }

    // Whether the target is a file that a later picture of this package is read from:
    // replacing it would copy the wrong bytes for that picture.
    bool IsSourceOfLaterPicture(int i, const QString& target) const {
        for (int j = i + 1; j < list_.size(); ++j) {
            if (SameFile(target, services_.readablePath(list_[j]))) {
                return true;
            }
        }
        return false;
    }

    bool ReplaceTarget(int i, const QString& target) {
        const QString source = services_.readablePath(list_[i]);
        if (SameFile(source, target)) {
            outcome_.written.append(target);  // already holds exactly these bytes
            return true;
        }
        if (IsSourceOfLaterPicture(i, target)) {
            return HandleFailure(TCopyError::Other, i, target);
        }
        const CopyResult result = services_.copy(source, target, CopyMode::Replace);
        if (result.Ok()) {
            outcome_.written.append(target);
            return true;
        }
        // The replacement never asks again: an existing file is what it expects.
        const TCopyError error = CopyErrorOf(result);
        return HandleFailure(error == TCopyError::FileExists ? TCopyError::Other : error, i,
                             target);
    }

    TSaveServices services_;
    TSaveEntries entries_;
    QStringList list_;
    QString folder_;
    long double step_;
    bool ask_ = true;
    bool aside_ = false;
    int remembered_ = kAnswerNo;
    TSaveOutcome outcome_;
};

}  // namespace

TSaveOutcome SavePackage(const QStringList& series, const TSaveEntries& entries,
                         TSaveServices services) {
    if (series.isEmpty()) {
        return {};
    }
    return TPackageSaver(series, entries, std::move(services)).Run();
}
