#include "widgets/FloatEdit.h"
#include "widgets/IntegerEdit.h"

#include <QLocale>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace {
// Counts OnNumericChange and the ordinary change notification, in the order they came.
struct TNotifications {
    QStringList Log;
    explicit TNotifications(TValidatingEdit& E) {
        E.OnNumericChange = [this](QObject*) { Log.append("numeric"); };
        QObject::connect(&E, &QLineEdit::textChanged, [this] { Log.append("change"); });
    }
};

class LocaleScope {
public:
    explicit LocaleScope(const QLocale& L) : FOld(QLocale()) { QLocale::setDefault(L); }
    ~LocaleScope() { QLocale::setDefault(FOld); }

private:
    QLocale FOld;
};
} // namespace

TEST(IntegerEdit, AcceptsDecimalAndBothHexPrefixesWithinTheRange) {
    TIntegerEdit e;
    e.SetRange(0, 255);
    for (const char* text : {"0x1F", "$1F", "31", "$1f"}) {
        e.setText(text);
        EXPECT_TRUE(e.Valid()) << text;
        EXPECT_EQ(e.Value(), 31) << text;
    }
    for (const char* text : {"0x1G", "256", "-1", "", "3 1", "$", "0x", "1.0", "--1", "+-1", "$-1F", " 31", "31 ", "0x1F "}) {
        e.setText(text);
        EXPECT_FALSE(e.Valid()) << text;
        EXPECT_THROW(e.Value(), EConvertError) << text;
    }
    e.setText("0");
    EXPECT_TRUE(e.Valid());
    e.setText("255");
    EXPECT_TRUE(e.Valid());
}

TEST(IntegerEdit, RangeRulesIncludingTheOpenRangeAndEmptyRanges) {
    TIntegerEdit e;
    e.setText("-2147483648");
    EXPECT_TRUE(e.Valid()) << "0..0 accepts any 32-bit integer";
    e.setText("2147483647");
    EXPECT_TRUE(e.Valid());
    e.setText("2147483648");
    EXPECT_FALSE(e.Valid()) << "beyond 32 bits is not an integer of the edit";
    e.setText("$80000000");
    EXPECT_FALSE(e.Valid());

    e.setText("5");
    e.SetRange(5, 5);
    EXPECT_FALSE(e.Valid()) << "Min = Max other than 0 accepts nothing";
    e.SetRange(10, 1);
    EXPECT_FALSE(e.Valid());
    e.SetRange(1, 65535);
    EXPECT_TRUE(e.Valid());
    try {
        e.setText("x");
        e.Value();
        FAIL();
    } catch (const EConvertError& err) {
        EXPECT_STREQ(err.what(), "TIntegerEdit.value: the text property is not a valid integer value");
    }
}

TEST(IntegerEdit, NumericChangeOnlyForANewValidValueAndBeforeTheChangeNotification) {
    TIntegerEdit e;
    e.SetRange(1, 65535);
    TNotifications n(e);
    e.setText("1000");
    EXPECT_EQ(n.Log, (QStringList{"numeric", "change"}));
    n.Log.clear();
    e.setText("0x3E8"); // same value, other text
    EXPECT_EQ(n.Log, QStringList{"change"});
    n.Log.clear();
    e.setText("0");    // invalid
    e.setText("1000"); // back to the last reported value
    EXPECT_EQ(n.Log, (QStringList{"change", "change"}));
    n.Log.clear();
    e.SetValue(42);
    EXPECT_EQ(e.text(), "42");
    EXPECT_EQ(n.Log, (QStringList{"numeric", "change"}));

    // Typing goes through the same path.
    n.Log.clear();
    e.clear();
    n.Log.clear();
    QTest::keyClicks(&e, "12");
    EXPECT_EQ(n.Log, (QStringList{"numeric", "change", "numeric", "change"}));
    EXPECT_EQ(e.Value(), 12);
}

TEST(IntegerEdit, RangeChangeTurnsTheEditInvalidWithoutNotifying) {
    TIntegerEdit e;
    e.SetErrorBkgColor(Qt::yellow);
    QFont bold = e.font();
    bold.setBold(true);
    e.SetErrorFont(bold);
    e.setText("300");
    ASSERT_TRUE(e.Valid());
    const QColor normalBase = e.palette().color(QPalette::Base);
    EXPECT_FALSE(e.font().bold());

    TNotifications n(e);
    e.SetRange(0, 255);
    EXPECT_FALSE(e.Valid());
    EXPECT_TRUE(n.Log.isEmpty());
    EXPECT_EQ(e.palette().color(QPalette::Base), QColor(Qt::yellow));
    EXPECT_EQ(e.palette().color(QPalette::Text), e.ErrorTextColor());
    EXPECT_TRUE(e.font().bold());

    e.SetMaxValue(1000);
    EXPECT_TRUE(e.Valid());
    EXPECT_TRUE(n.Log.isEmpty());
    EXPECT_EQ(e.palette().color(QPalette::Base), normalBase);
    EXPECT_FALSE(e.font().bold());
    EXPECT_FALSE(e.testAttribute(Qt::WA_SetFont)) << "an inherited font must stay inherited";
}

TEST(FloatEdit, ParsesInTheLocaleNotationAndHonoursTheSeparatorModes) {
    {
        LocaleScope german(QLocale(QLocale::German, QLocale::Germany));
        TFloatEdit e;
        e.setText("2,5");
        EXPECT_DOUBLE_EQ(e.Value(), 2.5);
        e.setText("2.5");
        EXPECT_FALSE(e.Valid()) << "a point is no decimal separator under a comma locale";
        e.SetDecSeparator(dsPoint);
        EXPECT_TRUE(e.Valid()) << "dsPoint reads the point as the locale's separator";
        EXPECT_DOUBLE_EQ(e.Value(), 2.5);
        e.SetValue(1234.5);
        EXPECT_EQ(e.text(), "1234,5") << "written with the locale separator, no grouping";
        EXPECT_DOUBLE_EQ(e.Value(), 1234.5);
        e.setText("1.234,5");
        EXPECT_FALSE(e.Valid()) << "group separators are not part of a value";
    }
    {
        LocaleScope english(QLocale(QLocale::English, QLocale::UnitedStates));
        TFloatEdit e;
        e.SetDecSeparator(dsComma);
        e.setText("2,5");
        EXPECT_DOUBLE_EQ(e.Value(), 2.5);
        e.SetDecSeparator(dsDefault);
        EXPECT_FALSE(e.Valid());
        e.setText("-1.5e2");
        EXPECT_DOUBLE_EQ(e.Value(), -150.0);
        e.SetValue(0.1 + 0.2);
        EXPECT_EQ(e.text(), "0.3") << "15 significant digits";
        e.SetValue(123456789012345678.0);
        EXPECT_DOUBLE_EQ(e.Value(), 1.23456789012346e17);
    }
}

TEST(FloatEdit, RangeNotificationAndNonFiniteInput) {
    LocaleScope english(QLocale(QLocale::English, QLocale::UnitedStates));
    TFloatEdit e;
    e.SetRange(0.0, 110.0);
    TNotifications n(e);
    e.setText("55.5");
    e.setText("55.50");
    e.setText("110.1");
    e.setText("110");
    EXPECT_EQ(n.Log, (QStringList{"numeric", "change", "change", "change", "numeric", "change"}));
    for (const char* text : {"inf", "nan", "-inf", "1e400", "", "abc", "1.5x"}) {
        e.SetRange(0, 0);
        e.setText(text);
        EXPECT_FALSE(e.Valid()) << text;
    }
    try {
        e.Value();
        FAIL();
    } catch (const EConvertError& err) {
        EXPECT_STREQ(err.what(), "TFloatEdit.value: the text property is not a valid float value");
    }
}

TEST(NumericEdits, AFirstEntryOfZeroIsReported) {
    LocaleScope english(QLocale(QLocale::English, QLocale::UnitedStates));
    TIntegerEdit integer;
    TFloatEdit real;
    for (TValidatingEdit* e : {static_cast<TValidatingEdit*>(&integer), static_cast<TValidatingEdit*>(&real)}) {
        TNotifications n(*e);
        e->setText("0");
        EXPECT_EQ(n.Log, (QStringList{"numeric", "change"})) << e->metaObject()->className();
    }
}
