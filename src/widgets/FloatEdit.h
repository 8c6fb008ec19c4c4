#pragma once
// Line edit for a real number in a range, in the user's notation.
#include "widgets/ValidatingEdit.h"

#include <optional>

enum TDecSeparator { dsDefault, dsPoint, dsComma };

class TFloatEdit : public TValidatingEdit {
    Q_OBJECT
public:
    explicit TFloatEdit(QWidget* Parent = nullptr);

    // dsPoint / dsComma: a '.' / ',' typed is read as the locale's decimal separator.
    TDecSeparator DecSeparator() const { return FDecSeparator; }
    void SetDecSeparator(TDecSeparator S);

    // Both 0: no range. Otherwise MinValue < MaxValue and the value must lie within.
    double MinValue() const { return FMinValue; }
    void SetMinValue(double V);
    double MaxValue() const { return FMaxValue; }
    void SetMaxValue(double V);
    void SetRange(double Min, double Max);

    // Reading checks the text first; an invalid text raises EConvertError.
    double Value();
    // Up to 15 significant digits with the locale's decimal separator.
    void SetValue(double V);

    // The parse alone, without range, under the current locale (QLocale()).
    static std::optional<double> Parse(const QString& Text, TDecSeparator Separator);
    static QString Format(double V);

protected:
    bool Check() override;
    bool ValueChangedSinceReport() const override { return FValue != FLastReported; }
    void RememberReported() override { FLastReported = FValue; }

private:
    TDecSeparator FDecSeparator = dsDefault;
    double FMinValue = 0;
    double FMaxValue = 0;
    double FValue = 0;
    double FLastReported;
};
