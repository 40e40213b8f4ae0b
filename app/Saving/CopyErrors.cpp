#include "app/Saving/CopyErrors.h"

#include <cerrno>
#include <cstring>

using platform::CopyResult;
using platform::CopyStage;
using platform::MsgButton;
using platform::MsgIcon;

namespace {

const QString kGap = QStringLiteral("  ");

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

}  // namespace

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

bool IsSourceFault(const CopyResult& result) {
    return result.stage == CopyStage::OpenSource || result.stage == CopyStage::Read;
}

QString FailureReason(const CopyResult& result) {
    if (result.error == platform::kNotRegularFile) {
        return QStringLiteral("Not a regular file");
    }
    // The description rather than strerror: messages are English whatever the locale.
    const char* description = ::strerrordesc_np(result.error);
    return description ? QString::fromUtf8(description)
                       : QStringLiteral("Error %1").arg(result.error);
}

TCopyErrorReport CopyErrorReport(const TCopyFault& fault) {
    const QString& file = fault.file;
    switch (fault.error) {
        case TCopyError::FileNotFound:
            return AskToContinue(file + kGap + "The system cannot find the file specified");
        case TCopyError::PathNotFound:
            return Stop(u'\'' + fault.destinationField + u'\'' + kGap + "Path Not Found !");
        case TCopyError::AccessDenied:
            return Stop(file + kGap + "Access Denied !");
        case TCopyError::OutOfMemory:
            return Stop(file + kGap +
                        "Not enough storage is available to complete this operation.");
        case TCopyError::InvalidDrive:
            return Stop(file + kGap + "The system cannot find the drive specified.");
        case TCopyError::NotSameDevice:
            return AskToContinue(file + kGap +
                                 "The system cannot move the file to a different disk drive.");
        case TCopyError::WriteProtected:
            return Stop(fault.fileSystem + u' ' + "The media is write protected.");
        case TCopyError::NotReady:
            return Stop(file + kGap + "The device is not ready.");
        case TCopyError::DiskFull:
            return Stop(fault.fileSystem + u' ' + "The disk is full.");
        case TCopyError::RemoteNotAvailable:
            return Stop(file + kGap + "The remote computer is not available.");
        case TCopyError::NetworkPathNotFound:
            return Stop(file + kGap + "The network path was not found.");
        case TCopyError::NetworkBusy:
            return Stop(file + kGap + "The network is busy.");
        case TCopyError::NetworkGone:
            return Stop(file + kGap +
                        "The specified network resource or device is no longer available.");
        case TCopyError::NetworkAccessDenied:
            return Stop(file + kGap + "Network access is denied.");
        case TCopyError::FileExists:
            return {{}, {}, {}, MsgIcon::None, TErrorAction::AskOverwrite};
        case TCopyError::None:
        case TCopyError::Other:
            break;
    }
    return {"Can't copy file!\n" + file + kGap + fault.reason,
            QStringLiteral("Error"),
            {MsgButton::Ok},
            MsgIcon::Error,
            TErrorAction::Continue};
}
