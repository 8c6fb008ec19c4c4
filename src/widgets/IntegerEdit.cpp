#include "widgets/IntegerEdit.h"

TIntegerEdit::TIntegerEdit(QWidget* Parent) : TValidatingEdit(Parent) {
    Revalidate();
}

void TIntegerEdit::SetMinValue(int32_t V) {
    FMinValue = V;
    Revalidate();
}

void TIntegerEdit::SetMaxValue(int32_t V) {
    FMaxValue = V;
    Revalidate();
}

void TIntegerEdit::SetRange(int32_t Min, int32_t Max) {
    FMinValue = Min;
    FMaxValue = Max;
    Revalidate();
}

int32_t TIntegerEdit::Value() {
    Revalidate();
    if (!Valid())
        throw EConvertError("TIntegerEdit.value: the text property is not a valid integer value");
    return FValue;
}

void TIntegerEdit::SetValue(int32_t V) {
    setText(QString::number(V));
}

std::optional<int32_t> TIntegerEdit::Parse(const QString& Text) {
    QString t = Text;
    const qsizetype x = t.indexOf(QLatin1String("0x"));
    if (x >= 0)
        t.replace(x, 2, u'$');
    // The whole text is the number: a blank before or after it makes the entry invalid.
    if (t.isEmpty())
        return std::nullopt;
    bool ok = false;
    qlonglong v = 0;
    if (t.startsWith(u'$')) {
        const QString digits = t.mid(1);
        for (const QChar c : digits)
            if (!c.isDigit() && !(c.toLower() >= u'a' && c.toLower() <= u'f'))
                return std::nullopt;
        v = digits.toLongLong(&ok, 16);
    } else {
        // toLongLong would also take blanks inside and a leading '+'; the sign is allowed,
        // blanks are not.
        const QString digits = (t.startsWith(u'-') || t.startsWith(u'+')) ? t.mid(1) : t;
        for (const QChar c : digits)
            if (c < u'0' || c > u'9')
                return std::nullopt;
        v = t.toLongLong(&ok, 10);
    }
    if (!ok || v < INT32_MIN || v > INT32_MAX)
        return std::nullopt;
    return int32_t(v);
}

bool TIntegerEdit::Check() {
    const auto v = Parse(text());
    if (!v)
        return false;
    const bool inRange =
        (FMinValue == 0 && FMaxValue == 0) || (FMinValue < FMaxValue && FMinValue <= *v && *v <= FMaxValue);
    if (inRange)
        FValue = *v;
    return inRange;
}
