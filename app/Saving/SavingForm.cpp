#include "app/Saving/SavingForm.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFocusEvent>
#include <optional>

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "app/Dialogs/ConfigForm.h"
#include "app/Dialogs/DialogControls.h"
#include "app/Dialogs/FolderDialog.h"
#include "app/Series/NameRules.h"
#include "platform/MessageService.h"
#include "platform/Paths.h"

namespace {

// An additional path may not hold characters that are not allowed in the names of
// every file system the package may go to, the old folder separator, or an empty level.
bool IsValidAdditionalPath(const QString& path) {
    static const QString forbidden = QStringLiteral("<>?|*:\\");
    for (QChar c : path) {
        if (forbidden.contains(c)) {
            return false;
        }
    }
    return !path.contains(QStringLiteral("//"));
}

bool IsAllDigits(const QString& text) {
    for (QChar c : text) {
        if (c < u'0' || c > u'9') {
            return false;
        }
    }
    return true;
}

}  // namespace

// What a failed check shows and where the focus goes.
struct TSavingForm::Refusal {
    QString message;
    QWidget* control = nullptr;
    bool beep = false;
    bool selectText = false;
};

TSavingForm::TSavingForm(QWidget* owner) : QDialog(owner) {
    setObjectName(QStringLiteral("SavingForm"));
    setWindowTitle(QStringLiteral("Save selected pictures as package"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setFixedSize(499, 183);
    auto* panel = new QFrame(this);
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setGeometry(6, 6, 487, 138);
    BuildFolderRows(panel);
    BuildNameRows(panel);
    BuildButtons();
    ConnectHandlers();
    DigitsTBChange();
}

void TSavingForm::BuildFolderRows(QFrame* panel) {
    CaptLabel = AddLabel(panel, QStringLiteral("Saving parameters"), 8, 6);
    CaptLabel->setObjectName(QStringLiteral("CaptLabel"));
    DestDirButton = AddPushButton(panel, QStringLiteral("DestDirButton"), QStringLiteral("Folder:"),
                                  QRect(8, 26, 90, 25));
    DestDirEdit = AddShownEdit(panel, QStringLiteral("DestDirEdit"), QRect(104, 27, 374, 23));
    AddLabel(panel, QStringLiteral("Additional path:"), 8, 64);
    AddPath = AddEdit(panel, QStringLiteral("AddPath"), QRect(104, 60, 374, 22));
}

void TSavingForm::BuildNameRows(QFrame* panel) {
    AddLabel(panel, QStringLiteral("Prefix:"), 8, 96);
    PrefixEdit = AddEdit(panel, QStringLiteral("PrefixEdit"), QRect(56, 92, 90, 22), 10);
    AddLabel(panel, QStringLiteral("Digits:"), 156, 96);
    DigitsTB = AddTrackBar(panel, QStringLiteral("DigitsTB"), QRect(198, 88, 80, 28), 1, 6);
    DigitsTB->setValue(6);
    DigitsEdit = AddShownEdit(panel, QStringLiteral("DigitsEdit"), QRect(282, 92, 52, 22));
    AddLabel(panel, QStringLiteral("From:"), 344, 96);
    FromEdit = AddEdit(panel, QStringLiteral("FromEdit"), QRect(382, 92, 96, 22));
    AddLabel(panel, QStringLiteral("Suffix:"), 8, 114);
    SufixEdit = AddEdit(panel, QStringLiteral("SufixEdit"), QRect(56, 112, 90, 22), 10);
    AddLabel(panel, QStringLiteral("Sample:"), 156, 114);
    SampleEdit = AddShownEdit(panel, QStringLiteral("SampleEdit"), QRect(208, 112, 126, 22));
    AddLabel(panel, QStringLiteral("Begin from:"), 344, 114);
    BeginEdit = AddEdit(panel, QStringLiteral("BeginEdit"), QRect(420, 112, 58, 22));
    BeginEdit->setText(QStringLiteral("1"));
}

void TSavingForm::BuildButtons() {
    const TDialogButtons buttons = AddOkCancelButtons(
        this, QStringLiteral("OkButton"), QStringLiteral("CancelButton"), 166, 258, 152);
    OkButton = buttons.ok;
    CancelButton = buttons.cancel;
}

void TSavingForm::ConnectHandlers() {
    connect(OkButton, &QPushButton::clicked, this, [this] { OkButtonClick(); });
    connect(CancelButton, &QPushButton::clicked, this, [this] { done(2); });
    connect(DestDirButton, &QPushButton::clicked, this, [this] { DestDirButtonClick(); });
    connect(DigitsTB, &QSlider::valueChanged, this, [this] { DigitsTBChange(); });
    NameEntries().OnTextChanged(this, [this] { SampleChange(); });
    connect(BeginEdit, &QLineEdit::textChanged, this, [this] { SampleChange(); });
    BeginEdit->installEventFilter(this);
}

void TSavingForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormShow();
}

// Leaving "Begin from:" checks it, except towards the buttons (OK checks it again and
// Cancel drops it) and when the window itself loses the focus (to the message box, for
// one).
bool TSavingForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == BeginEdit && event->type() == QEvent::FocusOut && isVisible()) {
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        QWidget* next = QApplication::focusWidget();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason &&
            next != OkButton && next != CancelButton) {
            // Once the focus has moved: taking it back in the middle of the move would
            // lose the selection the refusal makes.
            QMetaObject::invokeMethod(
                this,
                [this] {
                    if (isVisible()) {
                        BeginEditExit();
                    }
                },
                Qt::QueuedConnection);
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TSavingForm::FormShow() {
    if (const TConfigForm* config = Config) {
        DestDirEdit->setText(config->DestDirEdit->text());
        PrefixEdit->setText(config->PrefixEdit->text());
        SufixEdit->setText(config->SufixEdit->text());
        DigitsTB->setValue(config->DigitsTB->value());
        FromEdit->setText(config->FromEdit->text());
    }
    DigitsTBChange();
    OkButton->setFocus();
}

void TSavingForm::DestDirButtonClick() {
    const QString folder = SelectFolderDialog(
        DestDirEdit->text(), QStringLiteral("Select destination path"), QString(), false);
    DestDirEdit->setText(platform::WithTrailingSlash(folder));
}

void TSavingForm::DigitsTBChange() {
    NameEntries().ShowDigits();
    SampleChange();
}

void TSavingForm::SampleChange() {
    NameEntries().ShowSample(FirstExtension());
}

QString TSavingForm::FirstExtension() const {
    const int begin = ParseInteger(BeginEdit->text()).value_or(1);
    const int index = begin >= 1 && begin <= PictureExtensions.size() ? begin - 1 : 0;
    return PictureExtensions.isEmpty() ? QStringLiteral(".jpg") : PictureExtensions[index];
}

TNameFields TSavingForm::NameEntries() const {
    return {PrefixEdit, FromEdit, DigitsTB, SufixEdit, DigitsEdit, SampleEdit};
}

bool TSavingForm::BeginEditExit() {
    if (checkingBegin_) {
        return false;
    }
    const QString text = BeginEdit->text();
    QString problem;
    if (!IsAllDigits(text)) {
        problem = QStringLiteral("Value must be numeric");
    } else if (!text.isEmpty()) {
        // Compared as a number of any length: a long one is simply above the count.
        const qulonglong value = text.toULongLong();
        if (text.size() > 18 || value < 1 || value > static_cast<qulonglong>(PictureCount)) {
            problem = "Value must be entered between 1 and " + QString::number(PictureCount);
        }
    }
    if (problem.isEmpty()) {
        return true;
    }
    checkingBegin_ = true;
    platform::ShowMessage(problem, QStringLiteral("Warning !"), {platform::MsgButton::Ok},
                          platform::MsgIcon::Warning);
    checkingBegin_ = false;
    BeginEdit->selectAll();
    BeginEdit->setFocus();
    return false;
}

void TSavingForm::Refuse(const Refusal& refusal) {
    if (refusal.beep) {
        platform::Beep();
    }
    platform::ShowError(refusal.message);
    if (auto* edit = qobject_cast<QLineEdit*>(refusal.control); edit && refusal.selectText) {
        edit->selectAll();
    }
    refusal.control->setFocus();
}

QString TSavingForm::ShownTargetFolder() const {
    return platform::WithoutTrailingSlash(TargetFolder(DestDirEdit->text(), AddPath->text()));
}

// The checks that need no disk, in the order the user meets them on the form.
bool TSavingForm::CheckEntries() {
    const QString cantCreate = "Can't create directory: '" + ShownTargetFolder() + "'";
    if (!IsValidAdditionalPath(AddPath->text())) {
        Refuse({cantCreate, AddPath, false, true});
        return false;
    }
    const long long last = FirstCounter(FromEdit->text()) + std::max(PictureCount, 1) - 1;
    const QString longestName = PackageFileName(PrefixEdit->text(), last, DigitsTB->value(),
                                                SufixEdit->text(), LongestExtension);
    if (!FitsPathLimits(TargetFolder(DestDirEdit->text(), AddPath->text()) + longestName)) {
        Refuse({cantCreate + "\nPath too long.", AddPath, false, true});
        return false;
    }
    if (const std::optional<TNameFault> fault = NameEntries().FirstFault()) {
        Refuse({fault->message, fault->control, true});
        return false;
    }
    if (QString::number(PictureCount).size() > DigitsTB->value()) {
        Refuse({QStringLiteral("Set more characters!"), DigitsTB, true});
        return false;
    }
    return BeginEditExit();
}

// Compared with links resolved: the destination may be reached through one.
bool TSavingForm::LiesInTemporaryFolder(const QString& destination) const {
    const QString temporary = QFileInfo(TemporaryFolder).canonicalFilePath();
    const QString target =
        QDir::cleanPath(QFileInfo(destination).canonicalFilePath() + u'/' + AddPath->text());
    return !temporary.isEmpty() && IsAtOrBelow(target, temporary);
}

// The destination must exist already; below it the date folder (only when the chosen
// path uses it) and then every missing level of the target folder are made.
bool TSavingForm::PrepareFolders() {
    const QString destination = DestDirEdit->text();
    const QString dateFolder = TargetFolder(destination, DateFolderName(QDate::currentDate()));
    const QString target = TargetFolder(destination, AddPath->text());
    const QFileInfo destinationInfo(destination);
    const bool destinationUsable = destinationInfo.isAbsolute() && destinationInfo.isDir();
    if (!destinationUsable) {
        Refuse({"Can't find directory: '" + destination + "' !\nShoose another.", DestDirButton});
        return false;
    }
    if (LiesInTemporaryFolder(destination)) {
        Refuse({"Can't save into '" + ShownTargetFolder() +
                    "': it lies in the program's temporary folder, which is emptied when the "
                    "program closes.\nChoose another.",
                DestDirButton});
        return false;
    }
    // The destination is there: a date folder that cannot be made there (a read-only
    // medium, no permission) is named with its own cause.
    if (IsAtOrBelow(target, dateFolder) && !QFileInfo(dateFolder).isDir()) {
        const QByteArray native = QFile::encodeName(platform::WithoutTrailingSlash(dateFolder));
        if (::mkdir(native.constData(), 0777) != 0) {
            const QString cause = QString::fromLocal8Bit(std::strerror(errno));
            Refuse({"Can't create directory: '" + dateFolder + "'\n" + cause + ".", DestDirButton});
            return false;
        }
    }
    if (!QDir().mkpath(target)) {
        Refuse({"Can't create directory: '" + target + "'", AddPath, false, true});
        return false;
    }
    return true;
}

void TSavingForm::OkButtonClick() {
    if (CheckEntries() && PrepareFolders()) {
        done(1);
    }
}

TSaveEntries TSavingForm::Entries() const {
    TSaveEntries entries;
    entries.destination = DestDirEdit->text();
    entries.additionalPath = AddPath->text();
    entries.prefix = PrefixEdit->text();
    entries.suffix = SufixEdit->text();
    entries.digits = DigitsTB->value();
    entries.firstNumber = FromEdit->text();
    entries.beginFrom = BeginEdit->text();
    return entries;
}
