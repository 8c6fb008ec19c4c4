#include "widgets/ValidatingEdit.h"

#include "platform/ErrorGuard.h"

TValidatingEdit::TValidatingEdit(QWidget* Parent) : QLineEdit(Parent) {
    FErrorBkgColor = palette().color(QPalette::Base);
    FErrorFont = font();
    connect(this, &QLineEdit::textChanged, this, [this] { RunGuarded([this] { TextChanged(); }); });
}

void TValidatingEdit::SetErrorBkgColor(const QColor& Color) {
    FErrorBkgColor = Color;
    ApplyLook();
}

void TValidatingEdit::SetErrorFont(const QFont& Font) {
    FErrorFont = Font;
    ApplyLook();
}

void TValidatingEdit::SetErrorTextColor(const QColor& Color) {
    FErrorTextColor = Color;
    ApplyLook();
}

void TValidatingEdit::Revalidate() {
    FValid = Check();
    ApplyLook();
}

void TValidatingEdit::TextChanged() {
    Revalidate();
    if (FValid && OnNumericChange && ValueChangedSinceReport()) {
        RememberReported();
        OnNumericChange(this);
    }
}

void TValidatingEdit::ApplyLook() {
    if (FValid) {
        if (!FErrorLook)
            return;
        FErrorLook = false;
        // Give back what the widget had; an inherited palette or font is inherited again.
        if (FOwnPalette)
            setPalette(FNormalPalette);
        else
            setPalette(QPalette());
        setAttribute(Qt::WA_SetPalette, FOwnPalette);
        if (FOwnFont)
            setFont(FNormalFont);
        else
            setFont(QFont());
        setAttribute(Qt::WA_SetFont, FOwnFont);
        update();
        return;
    }
    if (!FErrorLook) {
        FErrorLook = true;
        FNormalPalette = palette();
        FNormalFont = font();
        FOwnPalette = testAttribute(Qt::WA_SetPalette);
        FOwnFont = testAttribute(Qt::WA_SetFont);
    }
    QPalette p = FNormalPalette;
    p.setColor(QPalette::Base, FErrorBkgColor);
    p.setColor(QPalette::Text, FErrorTextColor);
    setPalette(p);
    setFont(FErrorFont);
    update();
}
