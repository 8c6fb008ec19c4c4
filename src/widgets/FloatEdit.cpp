#include "widgets/FloatEdit.h"

#include <QLocale>

#include <cmath>
#include <limits>

TFloatEdit::TFloatEdit(QWidget* Parent)
    // No entry is ever infinite, so the first valid one is always reported.
    : TValidatingEdit(Parent), FLastReported(std::numeric_limits<double>::infinity()) {
    Revalidate();
}

void TFloatEdit::SetDecSeparator(TDecSeparator S) {
    FDecSeparator = S;
    Revalidate();
}

void TFloatEdit::SetMinValue(double V) {
    FMinValue = V;
    Revalidate();
}

void TFloatEdit::SetMaxValue(double V) {
    FMaxValue = V;
    Revalidate();
}

void TFloatEdit::SetRange(double Min, double Max) {
    FMinValue = Min;
    FMaxValue = Max;
    Revalidate();
}

double TFloatEdit::Value() {
    Revalidate();
    if (!Valid())
        throw EConvertError("TFloatEdit.value: the text property is not a valid float value");
    return FValue;
}

void TFloatEdit::SetValue(double V) {
    setText(Format(V));
}

QString TFloatEdit::Format(double V) {
    QLocale loc;
    loc.setNumberOptions(QLocale::OmitGroupSeparator);
    return loc.toString(V, 'g', 15);
}

std::optional<double> TFloatEdit::Parse(const QString& Text, TDecSeparator Separator) {
    QLocale loc;
    loc.setNumberOptions(QLocale::RejectGroupSeparator);
    QString t = Text;
    const QChar typed = Separator == dsPoint ? u'.' : Separator == dsComma ? u',' : QChar();
    if (!typed.isNull()) {
        const qsizetype i = t.indexOf(typed);
        if (i >= 0)
            t.replace(i, 1, loc.decimalPoint());
    }
    bool ok = false;
    const double v = loc.toDouble(t, &ok);
    // "inf" and "nan" parse, but they are no value an operator can mean.
    if (!ok || !std::isfinite(v))
        return std::nullopt;
    return v;
}

bool TFloatEdit::Check() {
    const auto v = Parse(text(), FDecSeparator);
    if (!v)
        return false;
    const bool inRange =
        (FMinValue == 0 && FMaxValue == 0) || (FMinValue < FMaxValue && FMinValue <= *v && *v <= FMaxValue);
    if (inRange)
        FValue = *v;
    return inRange;
}
