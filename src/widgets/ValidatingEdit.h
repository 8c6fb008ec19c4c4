#pragma once
// Common part of the numeric edits: a line edit that checks its text on every change, shows an
// invalid entry in the error colours and font, and reports a changed valid value.
#include <QColor>
#include <QFont>
#include <QLineEdit>
#include <QPalette>

#include <functional>
#include <stdexcept>

// Reading the value of an edit whose text is not a valid number.
class EConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TValidatingEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TValidatingEdit(QWidget* Parent = nullptr);

    QColor ErrorBkgColor() const { return FErrorBkgColor; }
    void SetErrorBkgColor(const QColor& Color);
    QFont ErrorFont() const { return FErrorFont; }
    void SetErrorFont(const QFont& Font);
    // Text colour while invalid (the font's colour in toolkits where a font carries one).
    QColor ErrorTextColor() const { return FErrorTextColor; }
    void SetErrorTextColor(const QColor& Color);

    // Result of the last check.
    bool Valid() const { return FValid; }

    // Raised on a text change that leaves a valid value different from the last one reported.
    std::function<void(QObject* Sender)> OnNumericChange;

protected:
    // Derived classes call Revalidate at the end of their constructor and whenever the range changes.
    void Revalidate();
    // Parses the text against the range and stores the value when valid.
    virtual bool Check() = 0;
    // Whether the stored value differs from the last one reported; remembers it when asked to.
    virtual bool ValueChangedSinceReport() const = 0;
    virtual void RememberReported() = 0;

private:
    void TextChanged();
    void ApplyLook();

    QColor FErrorBkgColor;
    QFont FErrorFont;
    QColor FErrorTextColor{Qt::red};
    bool FValid = false;
    bool FErrorLook = false;
    // The look to go back to, taken when the error look was put on.
    QPalette FNormalPalette;
    QFont FNormalFont;
    bool FOwnPalette = false;
    bool FOwnFont = false;
};
