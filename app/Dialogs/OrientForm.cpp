#include "app/Dialogs/OrientForm.h"

#include <QApplication>
#include <QFrame>
#include <QStyle>

namespace {

constexpr int kChoiceSize = 160;
constexpr int kChoiceTop = 32;
constexpr int kCancelled = -100;

}  // namespace

TOrientForm::TOrientForm(QWidget* owner) : QDialog(owner) {
    setObjectName(QStringLiteral("OrientForm"));
    setFixedSize(489, 228);
    auto* panel = new QFrame(this);
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setGeometry(0, 0, 489, 195);
    MainLabel = new QLabel(panel);
    MainLabel->setObjectName(QStringLiteral("MainLabel"));
    MainLabel->setAlignment(Qt::AlignCenter);
    MainLabel->setWordWrap(true);
    MainLabel->setGeometry(6, 3, 477, 26);
    LeftButton =
        AddChoice(QStringLiteral("LeftButton"), 3, -1, QStringLiteral("Rotated counterclockwise"));
    NormalButton =
        AddChoice(QStringLiteral("NormalButton"), 164, 0, QStringLiteral("Without rotation"));
    RightButton =
        AddChoice(QStringLiteral("RightButton"), 325, 1, QStringLiteral("Rotated clockwise"));
    CancelBtn = new QPushButton(QApplication::style()->standardIcon(QStyle::SP_DialogCancelButton),
                                QStringLiteral("Cancel"), this);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    CancelBtn->setGeometry((489 - 75) / 2, 199, 75, 25);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
}

QToolButton* TOrientForm::AddChoice(const QString& name, int left, int direction,
                                    const QString& hint) {
    auto* button = new QToolButton(this);
    button->setObjectName(name);
    button->setGeometry(left, kChoiceTop, kChoiceSize, kChoiceSize);
    button->setToolTip(hint);
    connect(button, &QToolButton::clicked, this, [this, direction] {
        direction_ = direction;
        done(1);
    });
    return button;
}

void TOrientForm::SetGlyphs(const QImage& left, const QImage& normal, const QImage& right) {
    const QSize room(kChoiceSize - 6, kChoiceSize - 6);
    const std::pair<QToolButton*, const QImage*> glyphs[] = {
        {LeftButton, &left}, {NormalButton, &normal}, {RightButton, &right}};
    for (const auto& [button, image] : glyphs) {
        const QPixmap pixmap = QPixmap::fromImage(*image);
        button->setIcon(QIcon(pixmap));
        button->setIconSize(pixmap.size().boundedTo(room));
    }
}

void TOrientForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormShow();
}

void TOrientForm::FormShow() {
    LeftButton->setToolTip(QStringLiteral("Rotated left"));
    NormalButton->setToolTip(QStringLiteral("Original orientation"));
    RightButton->setToolTip(QStringLiteral("Rotated right"));
}

int ShowOrientDialog(const QString& text, const QString& caption, const QImage& leftGlyph,
                     const QImage& normalGlyph, const QImage& rightGlyph) {
    TOrientForm form(QApplication::activeWindow());
    form.setWindowTitle(caption);
    form.MainLabel->setText(text);
    form.SetGlyphs(leftGlyph, normalGlyph, rightGlyph);
    return form.exec() == 1 ? form.Direction() : kCancelled;
}
