#pragma once
// Line edit for a 32-bit integer in a range: decimal, or hexadecimal with "0x" or "$".
#include "widgets/ValidatingEdit.h"

#include <cstdint>
#include <optional>

class TIntegerEdit : public TValidatingEdit {
    Q_OBJECT
public:
    explicit TIntegerEdit(QWidget* Parent = nullptr);

    // Both 0: no range. Otherwise MinValue < MaxValue and the value must lie within.
    int32_t MinValue() const { return FMinValue; }
    void SetMinValue(int32_t V);
    int32_t MaxValue() const { return FMaxValue; }
    void SetMaxValue(int32_t V);
    void SetRange(int32_t Min, int32_t Max);

    // Reading checks the text first; an invalid text raises EConvertError.
    int32_t Value();
    void SetValue(int32_t V);

    // The parse alone, without range: decimal with optional sign, or "$"/"0x" and hex digits.
    static std::optional<int32_t> Parse(const QString& Text);

protected:
    bool Check() override;
    bool ValueChangedSinceReport() const override { return FValue != FLastReported; }
    void RememberReported() override { FLastReported = FValue; }

private:
    int32_t FMinValue = 0;
    int32_t FMaxValue = 0;
    int32_t FValue = 0;
    // A value the first entry is unlikely to take, so that it is reported.
    int32_t FLastReported = 2147483647;
};
