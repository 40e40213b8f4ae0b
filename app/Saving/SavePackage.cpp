#include "app/Saving/SavePackage.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <atomic>
#include <climits>
#include <memory>
#include <set>
#include <utility>

#include "app/Dialogs/QuestionForm.h"
#include "app/Saving/CopyErrors.h"
#include "app/Saving/PackagePlan.h"
#include "app/Saving/VolumeHelpers.h"
#include "app/Series/NameRules.h"
#include "app/Series/SeriesOrder.h"
#include "app/Series/TempCopies.h"
#include "platform/DateTimeFormat.h"
#include "platform/MessageService.h"
#include "platform/Paths.h"
#include "platform/ReplacementFile.h"

using platform::CopyMode;
using platform::CopyResult;
using platform::CopyStage;
using platform::MsgButton;
using platform::MsgIcon;

namespace {

QString WithoutSeparators(QString text) {
    for (QChar c : {u'/', u'.', u':'}) {
        text.replace(c, u'-');
    }
    return text;
}

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

namespace {

// Answers of the overwrite question, as modal results.
constexpr int kAnswerCancel = 2;
constexpr int kAnswerYes = 6;
constexpr int kAnswerNo = 7;
constexpr int kAnswerNoToAll = 9;
constexpr int kAnswerYesToAll = 10;
// The end report names at most this many pictures.
constexpr int kListedPictures = 20;
constexpr int kHoldNameAttempts = 1000;

std::string Encoded(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

QString MountPointOf(const QString& path) {
    // Links resolved: a destination reached through one lies on the file system it leads
    // to. The target itself may not exist yet; its folder does.
    QString resolved = QFileInfo(platform::FolderPart(path)).canonicalFilePath();
    if (resolved.isEmpty()) {
        resolved = path;
    }
    const auto mount = platform::VolumeTable::System().MountOfPath(Encoded(resolved));
    return mount ? QFile::decodeName(mount->mountPoint.c_str()) : QStringLiteral("/");
}

TSaveServices WithDefaults(TSaveServices services) {
    if (!services.copy) {
        services.copy = [](const QString& source, const QString& target, CopyMode mode) {
            return platform::CopyFile(source, target, mode);
        };
    }
    if (!services.move) {
        services.move = platform::MoveFile;
    }
    if (!services.offload) {
        services.offload = [](const std::function<void()>& work, const std::function<void()>&) {
            work();
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
    if (!services.fileSystemOf) {
        services.fileSystemOf = MountPointOf;
    }
    return services;
}

enum class TPictureState { Pending, Saved, NotSaved };

// A copy to a new name of a picture whose own file is to be replaced by another picture
// must be on the disk before that: a power loss in between would leave the picture in
// neither.
CopyMode NewCopyMode(const TPlannedPicture& picture) {
    return picture.displaced ? CopyMode::FailIfExistsDurable : CopyMode::FailIfExists;
}

struct TPlannedCopy {
    QString source;
    QString target;
    CopyMode mode;
    int sourceError = 0;  // the source was missing when the package was planned
};

TPlannedCopy NewCopyOf(const TPlannedPicture& picture) {
    return {picture.source, picture.target, NewCopyMode(picture), picture.sourceError};
}

// A source that was missing when the package was planned is not looked for again: its name
// may since have been taken by another picture's copy, which is not this picture.
CopyResult CopyPlanned(const TCopyFunction& copy, const TPlannedCopy& planned) {
    if (planned.sourceError != 0) {
        return {planned.sourceError, CopyStage::OpenSource};
    }
    return copy(planned.source, planned.target, planned.mode);
}

// One piece of the save's work off the UI thread: the first plans the package (it clears
// what a killed save left in the folder, identifies every file and orders the copies);
// then copies to new names follow one after the other until one fails.
struct TAheadWork {
    bool plan = false;
    QString folder;
    std::vector<TPlannedPicture> pictures;  // planning: identified here
    std::vector<int> order;                 // planning: made here
    std::vector<TPlannedCopy> copies;
    // pictures and order are complete (and no longer written) once this is true.
    std::atomic<bool> planned{false};
    std::atomic<size_t> copied{0};
    CopyResult failure;

    void Run(const TCopyFunction& copy) {
        if (plan) {
            platform::RemoveStaleTemporaries(Encoded(folder));
            IdentifyFiles(pictures);
            order = CopyOrder(pictures);
            for (int i : order) {
                copies.push_back(NewCopyOf(pictures[i]));
            }
            planned.store(true, std::memory_order_release);
        }
        for (const TPlannedCopy& planned : copies) {
            failure = CopyPlanned(copy, planned);
            if (!failure.Ok()) {
                return;
            }
            copied.fetch_add(1);
        }
    }
};

// One save, from the dialog's OK to the last picture or a stop. The overwrite answer
// given with "to All" lives as long as this object.
//
// The rule that keeps every picture: a file that pictures of the series are read from is
// replaced only when each of them is saved already or held in a copy of its own; one that
// holds a picture that could not be saved is never replaced.
class TPackageSaver {
  public:
    TPackageSaver(const QStringList& series, const TSaveEntries& entries, TSaveServices services)
        : services_(WithDefaults(std::move(services))),
          entries_(entries),
          folder_(TargetFolder(entries.destination, entries.additionalPath)),
          step_(100.0L / static_cast<long double>(series.size())) {
        QStringList list = series;
        RotateToPicture(list, ParseInteger(entries.beginFrom).value_or(0));
        const long long first = FirstCounter(entries_.firstNumber);
        for (int i = 0; i < list.size(); ++i) {
            TPlannedPicture picture;
            picture.seriesPath = list[i];
            picture.source = services_.readablePath(list[i]);
            picture.target =
                folder_ + PackageFileName(entries_.prefix, first + i, entries_.digits,
                                          entries_.suffix, platform::ExtensionPart(list[i]));
            pictures_.push_back(std::move(picture));
        }
        states_.assign(pictures_.size(), TPictureState::Pending);
        holds_.resize(pictures_.size());
    }

    TSaveOutcome Run() {
        Call(services_.progress.show);
        CopyResult result;
        for (size_t k = CopyAhead(0, result); k < order_.size(); k = CopyAhead(k + 1, result)) {
            // This picture needs more than a copy to a new name: a question, a message or
            // the rename of its held copy.
            ComeBack();
            ShowLabel(pictures_[order_[k]].target);
            if (!SaveOne(order_[k], result)) {
                outcome_.stopped = true;
                break;
            }
            ComeBack();
            ShowPosition(k);
        }
        SettleHolds();
        if (!aside_) {
            Call(services_.progress.hide);
        }
        ReportMissingPictures();
        return outcome_;
    }

  private:
    template <class Function, class... Args>
    static void Call(const Function& function, Args&&... args) {
        if (function) {
            function(std::forward<Args>(args)...);
        }
    }

    // Runs file-system work through the offload service and hands back its result. The
    // work gets its inputs by value; the UI thread waits for it, so the result outlives it.
    template <class Work>
    auto OffUi(Work work) {
        decltype(work()) result{};
        services_.offload([&result, &work] { result = work(); }, {});
        return result;
    }

    void ShowLabel(const QString& target) {
        Call(services_.progress.label, "Copy file '" + target + "'");
    }

    void ShowPosition(size_t k) {
        Call(services_.progress.position, static_cast<int>((k + 1) * step_));
    }

    // The progress shows the pictures of order up to order[upTo] as copied, and the one
    // being copied now.
    void ShowProgress(const std::vector<TPlannedPicture>& pictures, const std::vector<int>& order,
                      size_t upTo) {
        for (; shown_ < upTo; ++shown_) {
            ShowPosition(shown_);
        }
        if (upTo < order.size()) {
            ShowLabel(pictures[order[upTo]].target);
        }
    }

    // Copies the pictures from order_[first] on to new names in one piece of work off the
    // UI thread, one after the other, and returns the position of the first one that
    // needs more: result then holds its failed copy (an existing target gives EEXIST). The
    // first piece of work also plans the package. A thread hand-over per picture would
    // cost more than the copy of a small one.
    size_t CopyAhead(size_t first, CopyResult& result) {
        const auto work = std::make_shared<TAheadWork>();
        work->plan = first == 0;
        if (work->plan) {
            work->folder = folder_;
            work->pictures = pictures_;
            for (const TPlannedPicture& picture : pictures_) {
                LockSourceVolume(picture.source);
            }
        } else {
            for (size_t k = first; k < order_.size() && holds_[order_[k]].isEmpty(); ++k) {
                work->copies.push_back(NewCopyOf(pictures_[order_[k]]));
                LockSourceVolume(pictures_[order_[k]].source);
            }
            if (work->copies.empty()) {
                result = {};
                return first;
            }
            work->planned = true;
            ComeBack();
            ShowLabel(work->copies.front().target);
        }
        shown_ = first;
        services_.offload([copy = services_.copy, work] { work->Run(copy); },
                          [this, work, first] {
                              if (work->planned.load(std::memory_order_acquire)) {
                                  ShowProgress(work->plan ? work->pictures : pictures_,
                                               work->plan ? work->order : order_,
                                               first + work->copied.load());
                              }
                          });
        if (work->plan) {
            pictures_ = std::move(work->pictures);
            order_ = std::move(work->order);
            readers_ = ReadersByFile(pictures_);
        }
        const size_t reached = first + work->copied.load();
        ShowProgress(pictures_, order_, reached);
        for (size_t k = first; k < reached; ++k) {
            MarkSaved(order_[k]);
        }
        result = work->failure;
        return reached;
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

    // Copies picture i to target.
    CopyResult Copy(int i, const QString& target, CopyMode mode) {
        const TPlannedCopy planned{pictures_[i].source, target, mode, pictures_[i].sourceError};
        return OffUi([copy = services_.copy, planned] { return CopyPlanned(copy, planned); });
    }

    // A held picture goes into the package by renaming its copy: nothing to copy again,
    // and its bytes are under one name or the other at every moment.
    CopyResult Write(int i, CopyMode mode) {
        const TPlannedPicture& picture = pictures_[i];
        if (holds_[i].isEmpty()) {
            return Copy(i, picture.target, mode);
        }
        const CopyResult result =
            OffUi([move = services_.move, from = holds_[i], to = picture.target, mode] {
                return move(from, to, mode);
            });
        if (result.Ok()) {
            holds_[i].clear();
        }
        return result;
    }

    void MarkSaved(int i) {
        states_[i] = TPictureState::Saved;
        outcome_.written.append(pictures_[i].target);
    }

    // False when the save stops here. result: the failed copy to a new name, for a
    // picture that is not held.
    bool SaveOne(int i, CopyResult result) {
        if (!holds_[i].isEmpty()) {
            result = Write(i, CopyMode::FailIfExists);
        }
        if (result.Ok()) {
            MarkSaved(i);
            return true;
        }
        if (CopyErrorOf(result) == TCopyError::FileExists) {
            return HandleExistingTarget(i);
        }
        return Fail(i, result, holds_[i].isEmpty() ? pictures_[i].source : holds_[i],
                    pictures_[i].target);
    }

    // Shows the message of a failed copy from source to target; picture i is not saved.
    bool Fail(int i, const CopyResult& result, const QString& source, const QString& target) {
        TCopyFault fault;
        fault.error = CopyErrorOf(result);
        if (fault.error == TCopyError::FileExists) {
            fault.error = TCopyError::Other;  // a replacement never asks again
        }
        fault.file = IsSourceFault(result) ? source : target;
        fault.reason = FailureReason(result);
        return Refuse(i, fault);
    }

    bool Refuse(int i, TCopyFault fault) {
        states_[i] = TPictureState::NotSaved;
        fault.destinationField = entries_.destination;
        if (fault.error == TCopyError::DiskFull || fault.error == TCopyError::WriteProtected) {
            fault.fileSystem = OffUi([fileSystemOf = services_.fileSystemOf, folder = folder_] {
                return fileSystemOf(folder);
            });
        }
        const TCopyErrorReport report = CopyErrorReport(fault);
        StepAside();
        const MsgButton answer =
            platform::ShowMessage(report.text, report.caption, report.buttons, report.icon);
        switch (report.action) {
            case TErrorAction::Stop:
                return false;
            case TErrorAction::AskContinue:
                return answer == MsgButton::Yes;
            default:
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

    bool HandleExistingTarget(int i) {
        // A Yes could not be carried out: the target is the only copy of a picture that is
        // not saved. No question then; the end report says why the picture is missing.
        if (const int reader = ReaderKeepingTarget(i); reader >= 0) {
            states_[i] = TPictureState::NotSaved;
            blocked_.push_back({i, reader});
            return true;
        }
        const int answer = OverwriteAnswer(pictures_[i].target);
        if (answer == kAnswerCancel) {
            return false;
        }
        if (answer == kAnswerYesToAll || answer == kAnswerNoToAll) {
            ask_ = false;
            remembered_ = answer == kAnswerYesToAll ? kAnswerYes : kAnswerNo;
        }
        if (answer == kAnswerYes || answer == kAnswerYesToAll) {
            return ReplaceTarget(i);
        }
        states_[i] = TPictureState::NotSaved;
        return true;
    }

    // The picture, other than i, whose only copy the target of i is; -1 when none.
    int UnsavedReaderOfTarget(int i) const {
        const auto found =
            pictures_[i].targetId ? readers_.find(*pictures_[i].targetId) : readers_.end();
        if (found != readers_.end()) {
            for (int reader : found->second) {
                if (reader != i && states_[reader] == TPictureState::NotSaved) {
                    return reader;
                }
            }
        }
        return -1;
    }

    bool TargetIsOwnFile(int i) const {
        const TPlannedPicture& picture = pictures_[i];
        return holds_[i].isEmpty() && picture.targetId &&
               (picture.targetId == picture.sourceId || picture.targetId == picture.originalId);
    }

    // The picture not saved whose only copy the target of i is, which forbids replacing
    // it; -1 when the target may be replaced.
    int ReaderKeepingTarget(int i) const {
        return TargetIsOwnFile(i) ? -1 : UnsavedReaderOfTarget(i);
    }

    // Copies every picture still to come that reads the target of i to a free name
    // beside it. False when one of those copies failed (its message is shown then, and
    // continue tells whether the save goes on).
    bool HoldReadersOfTarget(int i, bool& proceed) {
        const auto found =
            pictures_[i].targetId ? readers_.find(*pictures_[i].targetId) : readers_.end();
        if (found == readers_.end()) {
            return true;
        }
        for (int reader : found->second) {
            if (reader != i && states_[reader] == TPictureState::Pending &&
                holds_[reader].isEmpty() && !Hold(reader, i, proceed)) {
                return false;
            }
        }
        return true;
    }

    bool IsPackageName(const QString& path) const {
        return std::any_of(pictures_.begin(), pictures_.end(),
                           [&](const TPlannedPicture& picture) { return picture.target == path; });
    }

    // The held copy is named after the picture's own file, whichever file is read for it,
    // and lies in the destination: a file there outlives the program, unlike its
    // temporary copies. It is on the disk before the file it stands for is replaced.
    bool Hold(int reader, int i, bool& proceed) {
        const QString name = platform::FileNamePart(pictures_[reader].seriesPath);
        CopyResult result{EEXIST, CopyStage::CreateTarget};
        QString hold;
        for (int n = 1; n <= kHoldNameAttempts && result.error == EEXIST; ++n) {
            hold = folder_ + NumberedName(name, n);
            // Never a name the package itself is still to write: a held copy is replaced by
            // nothing but its own picture.
            if (!IsPackageName(hold)) {
                result = Copy(reader, hold, CopyMode::FailIfExistsDurable);
            }
        }
        if (result.Ok()) {
            holds_[reader] = hold;
            return true;
        }
        proceed = Fail(i, result, pictures_[reader].source, hold);
        return false;
    }

    // Replaces the target of i, which ReaderKeepingTarget allows.
    bool ReplaceTarget(int i) {
        const TPlannedPicture& picture = pictures_[i];
        if (TargetIsOwnFile(i)) {
            MarkSaved(i);
            return true;
        }
        bool proceed = true;
        if (!HoldReadersOfTarget(i, proceed)) {
            return proceed;
        }
        const CopyResult result = Write(i, CopyMode::Replace);
        if (!result.Ok()) {
            return Fail(i, result, holds_[i].isEmpty() ? picture.source : holds_[i],
                        picture.target);
        }
        MarkSaved(i);
        if (picture.targetId) {
            replaced_.insert(*picture.targetId);
        }
        return true;
    }

    // A held copy that is no longer needed goes; one whose picture is neither saved nor in
    // its source any more is the picture now, and stays.
    void SettleHolds() {
        for (size_t i = 0; i < pictures_.size(); ++i) {
            if (holds_[i].isEmpty()) {
                continue;
            }
            const std::vector<TFileId> files = FilesOf(pictures_[i]);
            if (std::any_of(files.begin(), files.end(),
                            [this](const TFileId& file) { return replaced_.count(file) != 0; })) {
                outcome_.kept.append(holds_[i]);
                keptFor_.append(pictures_[i].seriesPath);
            } else {
                OffUi([hold = holds_[i]] { return QFile::remove(hold); });
            }
        }
    }

    // One line for each picture that was not asked about because its target is the only
    // copy of a picture not saved.
    QString BlockedReasons() const {
        QString text;
        const size_t listed = std::min<size_t>(blocked_.size(), kListedPictures);
        for (size_t k = 0; k < listed; ++k) {
            const auto [i, reader] = blocked_[k];
            text += "\n'" + pictures_[i].seriesPath + "' was not saved: '" + pictures_[i].target +
                    "', its name in the package, is the only copy of '" +
                    pictures_[reader].seriesPath + "', which is not saved.";
        }
        if (blocked_.size() > listed) {
            text +=
                QStringLiteral("\n(and %1 more for the same reason)").arg(blocked_.size() - listed);
        }
        return text;
    }

    void ReportMissingPictures() {
        QStringList lines;
        for (size_t i = 0; i < pictures_.size(); ++i) {
            if (states_[i] != TPictureState::Saved) {
                outcome_.notSaved.append(pictures_[i].seriesPath);
                if (lines.size() < kListedPictures) {
                    lines.append(pictures_[i].seriesPath);
                }
            }
        }
        if (outcome_.notSaved.isEmpty()) {
            return;
        }
        const qsizetype total = static_cast<qsizetype>(pictures_.size());
        QString text = QStringLiteral("%1 of %2 pictures were saved in '%3'.\nNot saved:\n")
                           .arg(total - outcome_.notSaved.size())
                           .arg(total)
                           .arg(platform::WithoutTrailingSlash(folder_)) +
                       lines.join(u'\n');
        if (outcome_.notSaved.size() > lines.size()) {
            text += QStringLiteral("\n(and %1 more)").arg(outcome_.notSaved.size() - lines.size());
        }
        text += BlockedReasons();
        for (int k = 0; k < outcome_.kept.size(); ++k) {
            text += "\n'" + keptFor_[k] + "' is kept as '" + outcome_.kept[k] + "'.";
        }
        platform::ShowMessage(text, QStringLiteral("Warning !"), {MsgButton::Ok}, MsgIcon::Warning);
    }

    TSaveServices services_;
    TSaveEntries entries_;
    QString folder_;
    long double step_;
    std::vector<TPlannedPicture> pictures_;
    std::vector<int> order_;
    size_t shown_ = 0;  // the pictures of order_ the progress has shown as copied
    std::vector<TPictureState> states_;
    std::vector<QString> holds_;  // a picture's own copy, made before its source is replaced
    std::map<TFileId, std::vector<int>> readers_;
    std::set<TFileId> replaced_;  // files of the plan that this save has replaced
    QStringList keptFor_;
    // Pictures not saved because their target is the only copy of another (by index)
    // that is not saved, in the order they came.
    std::vector<std::pair<int, int>> blocked_;
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
