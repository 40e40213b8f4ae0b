#include "app/Dialogs/QuestionForm.h"

#include <QApplication>
#include <QStyle>

#include "app/ArtResources.h"

namespace {

constexpr int kClientWidth = 422;
constexpr int kClientHeight = 104;
constexpr int kButtonTop = 68;
constexpr int kLabelLeft = 76;
constexpr int kLabelTop = 32;

}  // namespace

TQuestionForm::TQuestionForm(QWidget* owner) : QDialog(owner) {
    setObjectName(QStringLiteral("QuestionForm"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    resize(kClientWidth, kClientHeight);
    SysImage = new QLabel(this);
    SysImage->setObjectName(QStringLiteral("SysImage"));
    SysImage->move(24, 20);
    WarningLbl = new QLabel(this);
    WarningLbl->setObjectName(QStringLiteral("WarningLbl"));
    WarningLbl->setWordWrap(true);
    WarningLbl->move(kLabelLeft, kLabelTop);
    YesBtn = AddButton(QStringLiteral("YesBtn"), QStringLiteral("Yes"), 18, 6);
    YesAllBtn = AddButton(QStringLiteral("YesAllBtn"), QStringLiteral("Yes to All"), 97, 10);
    NoBtn = AddButton(QStringLiteral("NoBtn"), QStringLiteral("No"), 176, 7);
    NoAllBtn = AddButton(QStringLiteral("NoAllBtn"), QStringLiteral("No to All"), 255, 9);
    CancelBtn = AddButton(QStringLiteral("CancelBtn"), QStringLiteral("Cancel"), 334, 2);
    YesBtn->setDefault(true);
    YesBtn->setFocus();
    SetText(QString());
}

QPushButton* TQuestionForm::AddButton(const QString& name, const QString& caption, int left,
                                      int result) {
    auto* button = new QPushButton(caption, this);
    button->setObjectName(name);
    button->setAutoDefault(false);
    button->setGeometry(left, kButtonTop, 70, 25);
    connect(button, &QPushButton::clicked, this, [this, result] { done(result); });
    return button;
}

void TQuestionForm::SetText(const QString& text) {
    WarningLbl->setText(text);
    const int labelWidth = kClientWidth - kLabelLeft - 12;
    WarningLbl->setFixedWidth(labelWidth);
    WarningLbl->adjustSize();
    // A long path may need more lines than the design's one: the buttons move down.
    const int extra = std::max(0, WarningLbl->height() - (kButtonTop - kLabelTop - 8));
    for (QPushButton* b : {YesBtn, YesAllBtn, NoBtn, NoAllBtn, CancelBtn}) {
        b->move(b->x(), kButtonTop + extra);
    }
    setFixedSize(kClientWidth, kClientHeight + extra);
}

QIcon QuestionIcon(const QString& iconName) {
    QStyle* style = QApplication::style();
    if (iconName == u"IDI_ASTERISK" || iconName == u"IDI_INFORMATION") {
        return style->standardIcon(QStyle::SP_MessageBoxInformation);
    }
    if (iconName == u"IDI_ERROR" || iconName == u"IDI_HAND") {
        return style->standardIcon(QStyle::SP_MessageBoxCritical);
    }
    if (iconName == u"IDI_EXCLAMATION" || iconName == u"IDI_WARNING") {
        return style->standardIcon(QStyle::SP_MessageBoxWarning);
    }
    if (iconName == u"IDI_QUESTION") {
        return style->standardIcon(QStyle::SP_MessageBoxQuestion);
    }
    if (iconName == u"IDI_WINLOGO") {
        return ProgramIcon();
    }
    return {};
}

int ShowQuestion(const QString& text, const QString& caption, const QString& iconName) {
    TQuestionForm form(QApplication::activeWindow());
    form.setWindowTitle(caption);
    form.SetText(text);
    const QIcon icon = QuestionIcon(iconName);
    if (!icon.isNull()) {
        form.SysImage->setPixmap(icon.pixmap(32, 32));
        form.SysImage->adjustSize();
    }
    const int result = form.exec();
    // Closing the window without a button is a cancel.
    return result == QDialog::Rejected ? 2 : result;
}
