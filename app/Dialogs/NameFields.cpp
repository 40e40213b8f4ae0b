#include "app/Dialogs/NameFields.h"

#include "app/Series/NameRules.h"

void TNameFields::ShowDigits() const {
    digitsShown->setText(QString(digits->value(), u'0'));
    ShowSample();
}

void TNameFields::ShowSample(const QString& extension) const {
    sample->setText(
        SampleName(prefix->text(), from->text(), digits->value(), suffix->text(), extension));
}

std::optional<TNameFault> TNameFields::FirstFault() const {
    const QString invalidName = QStringLiteral("Invalid character in the 3D image name!");
    if (!IsValidNameText(prefix->text())) {
        return TNameFault{invalidName, prefix};
    }
    if (ParseInteger(from->text()).value_or(-1) < 0) {
        return TNameFault{QStringLiteral("Invalid value!"), from};
    }
    if (!IsValidNameText(suffix->text())) {
        return TNameFault{invalidName, suffix};
    }
    return std::nullopt;
}
