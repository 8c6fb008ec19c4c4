#include "platform/Ansi.h"
#include "platform/ErrorGuard.h"
#include "platform/MessageSeam.h"
#include "platform/QtDebugSink.h"
#include "TestRecorders.h"
#include "protocol/debugout.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QTimer>

#include <gtest/gtest.h>

#include <stdexcept>

TEST(Ansi, RoundTripsEveryByteAndMapsTheWindowsRange) {
    TByteArray all;
    for (int i = 0; i < 256; ++i)
        all.push_back(uint8_t(i));
    const QString s = AnsiToString(all);
    ASSERT_EQ(s.size(), 256);
    EXPECT_EQ(s[0x80], QChar(0x20AC)); // euro sign
    EXPECT_EQ(s[0x9F], QChar(0x0178));
    EXPECT_EQ(s[0x81], QChar(0x0081)); // unassigned keeps its code point
    EXPECT_EQ(s[0xE4], QChar(0x00E4));
    EXPECT_EQ(StringToAnsi(s), all);

    EXPECT_EQ(StringToAnsi(QString::fromUtf8("a\u20ACb")), (TByteArray{'a', 0x80, 'b'}));
    // Outside the code page: one '?' per character, also for a surrogate pair.
    EXPECT_EQ(StringToAnsi(QString::fromUtf8("\u4E2D\U0001F600x")), (TByteArray{'?', '?', 'x'}));
}

TEST(ErrorGuard, ExceptionsFromQtCallbacksReachTheHandlerNotQt) {
    TRecordingErrorHandler errors;
    QTimer::singleShot(0, [] { RunGuarded([] { throw std::runtime_error("from a timer"); }); });
    ASSERT_TRUE(errors.WaitFor(1));
    EXPECT_EQ(errors.Messages(), QStringList{"from a timer"});

    RunGuarded([] { throw 42; });
    EXPECT_EQ(errors.Messages().last(), "Unknown exception");

    {
        // A handler that throws itself is contained.
        TErrorHandler inner =
            SetApplicationErrorHandler([](std::exception_ptr) { throw std::logic_error("x"); });
        EXPECT_NO_THROW(RunGuarded([] { throw std::runtime_error("y"); }));
        SetApplicationErrorHandler(std::move(inner));
    }
    errors.Clear();
    RunGuarded([] { throw std::runtime_error("after"); });
    EXPECT_EQ(errors.Count(), 1);
}

TEST(MessageSeam, HookRecordsTextKindAndUsesTheApplicationNameAsDefaultCaption) {
    TMessageRecorder rec;
    ShowMessage(TMessageKind::Information, "Hello");
    ShowMessage(TMessageKind::Error, "Bye", "Caption");
    ASSERT_EQ(rec.Count(), 2);
    EXPECT_EQ(rec.Messages()[0].Caption, QCoreApplication::applicationName());
    EXPECT_EQ(rec.Messages()[1].Caption, "Caption");
    EXPECT_EQ(rec.Messages()[0].Kind, TMessageKind::Information);
    EXPECT_EQ(rec.Messages()[1].Kind, TMessageKind::Error);
    EXPECT_EQ(rec.Texts(), (QStringList{"Hello", "Bye"}));
}

TEST(QtDebugSink, CoreDebugOutputIsInItsCategoryAndOffUntilSwitchedOn) {
    static QStringList seen;
    seen.clear();
    RouteDebugOutToQt();
    QtMessageHandler old = qInstallMessageHandler([](QtMsgType, const QMessageLogContext& Context, const QString& Text) {
        seen.append(QString::fromLatin1(Context.category) + ": " + Text);
    });
    DebugOut("quiet");
    QLoggingCategory::setFilterRules(QStringLiteral("zel.*.debug=true"));
    DebugOut("Checksum mismatch");
    QLoggingCategory::setFilterRules(QString());
    qInstallMessageHandler(old);
    EXPECT_EQ(seen, QStringList{"zel.protocol: Checksum mismatch"});
}
