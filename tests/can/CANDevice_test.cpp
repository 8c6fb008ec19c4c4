// The CAN transport against a scripted library: open and close sequences, framing, the receive
// thread's hand-overs and its failure paths.
#include "transports/CANDevice.h"
#include "transports/CANRxThread.h"
#include "linkdialogs/CanParamsDialog.h"
#include "CanTestPeer.h"
#include "FakeCanLib.h"
#include "platform/IniFile.h"
#include "ModalDriver.h"
#include "TempSettingsFolder.h"
#include "TestRecorders.h"
#include "TestWait.h"
#include "WindowControls.h"
#include "widgets/IntegerEdit.h"

#include <QApplication>
#include <QComboBox>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {
using TStrings = std::vector<std::string>;

class CANDeviceTest : public SettingsFolderTest {
protected:
    // Every test ends without a call on a closed handle and without closing under a reader.
    void TearDown() override { EXPECT_EQ(Lib.Violations(), TStrings{}); }
    static std::vector<TCanInterfaceInfo> Named(std::initializer_list<const char*> Names) {
        std::vector<TCanInterfaceInfo> list;
        for (const char* n : Names)
            list.push_back({QString::fromLatin1(n), true, false});
        return list;
    }
    std::unique_ptr<TCANDevice> MakeDevice() {
        auto dev = std::make_unique<TCANDevice>(nullptr);
        dev->SetCanApi(Lib.Api());
        dev->OnConnected = [this](TDevice*) { ++Connected; };
        dev->OnDisconnected = [this](TDevice*) { ++Disconnected; };
        return dev;
    }
    // Opens through the dialog; Step sees the dialog before it is accepted.
    TStat OpenThroughDialog(TCANDevice& Dev, const QString& Port,
                            std::function<void(TCANParamsDlg*)> Step = nullptr) {
        TModalDriver driver;
        driver.ThenAs<TCANParamsDlg>([Step](TCANParamsDlg* D) {
            if (Step)
                Step(D);
            D->accept();
        });
        const TStat result = Dev.Open(Port);
        EXPECT_EQ(driver.Handled(), 1);
        return result;
    }
    // Calls made after the first one that starts with Prefix (inclusive).
    TStrings CallsFrom(const std::string& Prefix) const {
        const TStrings all = Lib.Calls();
        for (size_t i = 0; i < all.size(); ++i)
            if (all[i].rfind(Prefix, 0) == 0)
                return TStrings(all.begin() + std::ptrdiff_t(i), all.end());
        return {};
    }

    TFakeCanLib Lib; // outlives every device of a test
    int Connected = 0;
    int Disconnected = 0;
};

std::vector<uint8_t> Seq(int From, int Count) {
    std::vector<uint8_t> v;
    for (int i = 0; i < Count; ++i)
        v.push_back(uint8_t(From + i));
    return v;
}
} // namespace

TEST_F(CANDeviceTest, PortListAndPortNamesThatAreRefusedWithoutTheDialog) {
    auto dev = MakeDevice();
    EXPECT_EQ(dev->InterfaceName, QStringLiteral("CAN-Bus"));
    EXPECT_EQ(dev->ShortName, QStringLiteral("can"));
    EXPECT_EQ(dev->objectName(), QStringLiteral("can"));

    QStringList ports{QStringLiteral("stale")};
    Lib.Interfaces = {};
    dev->GetPortList(ports);
    EXPECT_EQ(ports, QStringList{QStringLiteral("not installed")});
    Lib.Interfaces = Named({"can0", "vcan0", "slcan0"});
    Lib.Interfaces[2].Up = false;
    dev->GetPortList(ports);
    EXPECT_EQ(ports, (QStringList{QStringLiteral("Net 0 (can0)"), QStringLiteral("Net 1 (vcan0)"),
                                  QStringLiteral("Net 2 (slcan0, down)")}));
    EXPECT_TRUE(Lib.Calls().empty()); // listing opens nothing

    const size_t before = Lib.Calls().size();
    for (const char* port : {"not installed", "Net", "Net ", "Net x", "Net -1", "COM1", "net 0", " Net 0",
                             "Net 0 ()", "Net 0 (can0", "Net 0 (nosuch0)"})
        EXPECT_EQ(dev->Open(QString::fromLatin1(port)), E_NOT_FOUND) << port;
    EXPECT_EQ(Lib.Calls().size(), before);
    EXPECT_FALSE(dev->IsOpen());
}

TEST_F(CANDeviceTest, CancelAndFailedSetUpStepsLeaveNothingOpen) {
    auto dev = MakeDevice();
    {
        TModalDriver driver;
        driver.Then(TModalDriver::ClickButton(QStringLiteral("Cancel")));
        EXPECT_EQ(dev->Open(QStringLiteral("Net 0")), E_CMD_ABORTED);
    }
    EXPECT_TRUE(Lib.Calls().empty());

    Lib.OpenResult = CAN_NET_NOT_FOUND;
    EXPECT_EQ(OpenThroughDialog(*dev, QStringLiteral("Net 0")), E_IO_ERROR);
    Lib.OpenResult = CAN_SUCCESS;

    Lib.BaudrateResult = CAN_INVALID_PARAMETER;
    EXPECT_EQ(OpenThroughDialog(*dev, QStringLiteral("Net 0")), E_INVALID_PARAMETER);
    EXPECT_EQ(CallsFrom("baud"), (TStrings{"baud 4", "close"}));
    Lib.BaudrateResult = CAN_SUCCESS;

    Lib.IdAddResult = CAN_INVALID_PARAMETER;
    EXPECT_EQ(OpenThroughDialog(*dev, QStringLiteral("Net 0")), E_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(CallsFrom("idadd"), (TStrings{"idadd 101", "close"}));
    Lib.IdAddResult = CAN_SUCCESS;

    // Identifiers that could never send or whose answers have no identifier: refused before the
    // net is opened (no overflow on the way for the largest one).
    for (int32_t id : {-1, -2, 2047, 2147483647}) {
        const size_t calls = Lib.Calls().size();
        EXPECT_EQ(OpenThroughDialog(*dev, QStringLiteral("Net 0"), [id](TCANParamsDlg* D) { D->SetId(id); }),
                  E_INVALID_PARAMETER)
            << id;
        EXPECT_EQ(Lib.Calls().size(), calls) << id;
    }
    EXPECT_EQ(OpenThroughDialog(*dev, QStringLiteral("Net 0"), [](TCANParamsDlg* D) { D->SetId(2046); }),
              E_SUCCESS);
    EXPECT_EQ(dev->TxId(), 2046);
    dev->Close();
    Disconnected = 0;
    Settings.WriteFile(QStringLiteral("can.cfg"), "");

    EXPECT_FALSE(dev->IsOpen());
    EXPECT_EQ(dev->NetHandle(), -1);
    EXPECT_EQ(Lib.OpenHandles(), 0);
    EXPECT_EQ(Disconnected, 0);
    EXPECT_FALSE(Settings.ReadFile(QStringLiteral("can.cfg")).contains("bitrate"));
}

TEST_F(CANDeviceTest, OpenStoresTheParametersAndTheNextOpenOffersThemAgain) {
    auto dev = MakeDevice();
    Lib.Interfaces = Named({"can0", "can1", "can2", "can3"});
    const TStat first = OpenThroughDialog(*dev, QStringLiteral("Net 3"), [](TCANParamsDlg* D) {
        // Defaults of a fresh installation.
        auto* bitrate = Control<QComboBox>(*D, "cbBitrate");
        EXPECT_EQ(D->GetBitrate(), 4);
        EXPECT_EQ(bitrate->currentText(), QStringLiteral("250 kBit/s"));
        EXPECT_EQ(D->GetId(), 100);
        bitrate->setCurrentIndex(bitrate->findText(QStringLiteral("1 MBit/s")));
        Control<TIntegerEdit>(*D, "edID")->setText(QStringLiteral("200"));
    });
    ASSERT_EQ(first, E_SUCCESS);
    EXPECT_EQ(Lib.Calls(), (TStrings{"open 3", "baud 0", "idadd 201"}));
    EXPECT_TRUE(dev->IsOpen());
    EXPECT_EQ(dev->TxId(), 200);
    TIniFile cfg(TIniFile::PathFor(QStringLiteral("can.cfg")));
    EXPECT_EQ(cfg.ReadInteger(QStringLiteral("common"), QStringLiteral("bitrate"), -1), 0);
    EXPECT_EQ(cfg.ReadInteger(QStringLiteral("common"), QStringLiteral("id"), -1), 200);
    EXPECT_TRUE(SpinUntil([&] { return Connected == 1; }));

    // Reopening offers the stored choice and closes the open net first.
    const TStat second = OpenThroughDialog(*dev, QStringLiteral("Net 3"), [](TCANParamsDlg* D) {
        EXPECT_EQ(D->GetBitrate(), 0);
        EXPECT_EQ(Control<QComboBox>(*D, "cbBitrate")->currentText(), QStringLiteral("1 MBit/s"));
        EXPECT_EQ(D->GetId(), 200);
    });
    ASSERT_EQ(second, E_SUCCESS);
    EXPECT_EQ(Disconnected, 1);
    EXPECT_EQ(CallsFrom("ioctl"),
              (TStrings{"ioctl 10", "ioctl 9", "close", "open 3", "baud 0", "idadd 201"}));
    EXPECT_TRUE(SpinUntil([&] { return Connected == 2; }));
    ProcessEventsFor(120);
    EXPECT_EQ(Connected, 2); // the poll stops after raising it

    // A new transport (next program start) prefills its dialog from can.cfg.
    dev.reset();
    TCANDevice again(nullptr);
    EXPECT_EQ(again.StoredSettings().Bitrate, 0);
    EXPECT_EQ(again.StoredSettings().Id, 200);
}

TEST_F(CANDeviceTest, WriteCutsEachPacketIntoFramesOfEightBytesWithTheTargetId) {
    auto dev = MakeDevice();
    const std::vector<uint8_t> data = Seq(0, 24);
    EXPECT_EQ(dev->Write(data.data(), 10), E_NOT_OPENED);
    ASSERT_EQ(OpenThroughDialog(*dev, QStringLiteral("Net 0")), E_SUCCESS);

    EXPECT_EQ(dev->Write(data.data(), 10), E_SUCCESS);
    auto sent = Lib.Sent();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].id, 100);
    EXPECT_EQ(sent[0].len, 8);
    EXPECT_EQ(std::vector<uint8_t>(sent[0].data, sent[0].data + 8), Seq(0, 8));
    EXPECT_EQ(sent[1].id, 100);
    EXPECT_EQ(sent[1].len, 2);
    EXPECT_EQ(std::vector<uint8_t>(sent[1].data, sent[1].data + 2), Seq(8, 2));

    EXPECT_EQ(dev->Write(data.data(), 16), E_SUCCESS);
    EXPECT_EQ(dev->Write(data.data(), 0), E_SUCCESS);
    sent = Lib.Sent();
    ASSERT_EQ(sent.size(), 4u);
    EXPECT_EQ(sent[2].len, 8);
    EXPECT_EQ(sent[3].len, 8);

    // A refused frame ends the packet: the rest is not sent.
    Lib.SendFailsAt = Lib.SendAttempts() + 1;
    EXPECT_EQ(dev->Write(data.data(), 24), E_WRITE_ERROR);
    EXPECT_EQ(Lib.SendAttempts(), 6);
    EXPECT_EQ(Lib.Sent().size(), 5u);
}

TEST_F(CANDeviceTest, ReceivedBytesReachTheEngineOnTheUiThreadInOrder) {
    auto dev = MakeDevice();
    std::vector<uint8_t> got;
    std::vector<int32_t> counts;
    bool offThread = false;
    bool readAll = true;
    dev->OnDataAvailable = [&](TDevice* Sender, int32_t Count) {
        offThread |= QThread::currentThread() != qApp->thread() || Sender != dev.get();
        counts.push_back(Count);
        if (!readAll)
            return;
        uint8_t buf[4096];
        const int32_t n = dev->Read(buf, std::min(Count, 4096));
        got.insert(got.end(), buf, buf + n);
    };
    EXPECT_EQ(dev->Read(nullptr, 1), -1);
    EXPECT_EQ(dev->BytesAvailable(), 0);
    ASSERT_EQ(OpenThroughDialog(*dev, QStringLiteral("Net 0")), E_SUCCESS);

    Lib.PushFrame(101, Seq(0, 8));
    Lib.PushFrame(101, Seq(8, 2));
    Lib.PushFrame(101, Seq(10, 8), 12); // length byte above 8: only the data field's 8 bytes
    Lib.PushFrame(101, {}, 0);
    ASSERT_TRUE(SpinUntil([&] { return counts.size() == 4; }));
    EXPECT_EQ(got, Seq(0, 18));
    EXPECT_EQ(counts, (std::vector<int32_t>{8, 2, 8, 0}));
    EXPECT_FALSE(offThread);

    // Bytes the engine leaves stay until it reads them.
    readAll = false;
    Lib.PushFrame(101, Seq(50, 5));
    ASSERT_TRUE(SpinUntil([&] { return counts.size() == 5; }));
    EXPECT_EQ(dev->BytesAvailable(), 5);
    uint8_t buf[8];
    EXPECT_EQ(dev->Read(buf, 3), 3);
    EXPECT_EQ(dev->Read(buf + 3, 0), 0);
    EXPECT_EQ(dev->Read(buf + 3, 8), 2);
    EXPECT_EQ(std::vector<uint8_t>(buf, buf + 5), Seq(50, 5));
}

TEST_F(CANDeviceTest, QueueOverflowShowsOneBoxPerFrameAndStillNotifiesTheBytesThatFit) {
    TMessageRecorder boxes;
    auto dev = MakeDevice();
    std::vector<int32_t> counts;
    dev->OnDataAvailable = [&](TDevice*, int32_t Count) { counts.push_back(Count); };
    ASSERT_EQ(OpenThroughDialog(*dev, QStringLiteral("Net 0")), E_SUCCESS);

    // 8191 frames fill 65528 of the 65535 bytes the queue holds; the next frame fits 7 of its 8
    // bytes and the one after none.
    Lib.PushFrames(8193, 8);
    ASSERT_TRUE(SpinUntil([&] { return counts.size() == 8193; }, 60000));
    EXPECT_EQ(boxes.Texts(), (QStringList{QStringLiteral("CAN Error: Data overrun!"),
                                          QStringLiteral("CAN Error: Data overrun!")}));
    EXPECT_EQ(counts[8190], 65528);
    EXPECT_EQ(counts[8191], 65535);
    EXPECT_EQ(counts[8192], 65535);

    std::vector<uint8_t> all(70000);
    ASSERT_EQ(dev->Read(all.data(), int32_t(all.size())), 65535);
    bool inOrder = true;
    for (int i = 0; i < 65535; ++i)
        inOrder &= all[size_t(i)] == uint8_t(i);
    EXPECT_TRUE(inOrder);

    // Room again: the next frame is queued whole.
    Lib.PushFrame(101, Seq(1, 8));
    ASSERT_TRUE(SpinUntil([&] { return counts.size() == 8194; }));
    EXPECT_EQ(counts.back(), 8);
    EXPECT_EQ(boxes.Count(), 2);
}

TEST_F(CANDeviceTest, ReadFailureShowsTheBoxThenRaisesTheHardwareErrorOnTheUiThread) {
    TMessageRecorder boxes;
    TRecordingErrorHandler errors;
    auto dev = MakeDevice();
    ASSERT_EQ(OpenThroughDialog(*dev, QStringLiteral("Net 0")), E_SUCCESS);
    Lib.FailRead(CAN_LINK_LOST);
    ASSERT_TRUE(errors.WaitFor(1));
    EXPECT_EQ(boxes.Texts(),
              QStringList{QStringLiteral("CAN Error: Connection to CAN-Interface lost (E0000013h)")});
    EXPECT_EQ(errors.Messages(), QStringList{QStringLiteral("Cannot access CAN-Hardware")});
    EXPECT_THROW(std::rethrow_exception(errors.Errors()[0]), ECommunicationError);
    // Formally open until the user interface closes it.
    EXPECT_TRUE(dev->IsOpen());
    ProcessEventsFor(120);
    EXPECT_EQ(errors.Count(), 1);
    EXPECT_EQ(dev->Close(), E_SUCCESS);
    EXPECT_EQ(Disconnected, 1);

    // The application's handler disconnects from inside the timer: no hang, no crash.
    TFakeCanLib lib2;
    dev->SetCanApi(lib2.Api());
    SetApplicationErrorHandler([&](std::exception_ptr) { dev->Close(); });
    ASSERT_EQ(OpenThroughDialog(*dev, QStringLiteral("Net 0")), E_SUCCESS);
    lib2.FailRead(5);
    ASSERT_TRUE(SpinUntil([&] { return !dev->IsOpen(); }));
    EXPECT_EQ(boxes.Texts().last(), QStringLiteral("CAN Error: Connection to CAN-Interface lost (05h)"));
    EXPECT_EQ(Disconnected, 2);
    EXPECT_EQ(lib2.OpenHandles(), 0);
    ProcessEventsFor(20); // the released thread object goes here
}

TEST_F(CANDeviceTest, CloseShutsDownInItsFixedOrderAndOnlyOnce) {
    auto dev = MakeDevice();
    EXPECT_EQ(dev->Close(), E_NOT_OPENED);
    ASSERT_EQ(OpenThroughDialog(*dev, QStringLiteral("Net 0")), E_SUCCESS);
    EXPECT_NE(dev->RxThread(), nullptr);
    EXPECT_EQ(dev->Close(), E_SUCCESS);
    EXPECT_EQ(CallsFrom("ioctl"), (TStrings{"ioctl 10", "ioctl 9", "close"}));
    EXPECT_EQ(dev->RxThread(), nullptr);
    EXPECT_EQ(dev->NetHandle(), -1);
    EXPECT_EQ(Disconnected, 1);
    EXPECT_EQ(dev->Close(), E_NOT_OPENED);
    EXPECT_EQ(Disconnected, 1);
    uint8_t b = 0;
    EXPECT_EQ(dev->Read(&b, 1), -1);
    EXPECT_EQ(dev->BytesAvailable(), 0);
    EXPECT_EQ(dev->Write(&b, 1), E_NOT_OPENED);
    ProcessEventsFor(120);
    EXPECT_EQ(Connected, 0); // closed before the poll saw it open

    // Destroying an open transport closes the net without calling anybody back.
    ASSERT_EQ(OpenThroughDialog(*dev, QStringLiteral("Net 0")), E_SUCCESS);
    int calledBack = 0;
    dev->OnDataAvailable = [&](TDevice*, int32_t) { ++calledBack; };
    Lib.PushFrame(101, Seq(0, 3));
    ASSERT_TRUE(Lib.WaitConsumed());
    dev.reset();
    EXPECT_EQ(Disconnected, 1);
    EXPECT_EQ(Lib.OpenHandles(), 0);
    ProcessEventsFor(20);
    EXPECT_EQ(calledBack, 0);
}

TEST_F(CANDeviceTest, CloseServesAWaitingHandOverAndIsSafeFromInsideOne) {
    auto dev = MakeDevice();
    int notified = 0;
    dev->OnDataAvailable = [&](TDevice*, int32_t) { ++notified; };
    ASSERT_EQ(OpenThroughDialog(*dev, QStringLiteral("Net 0")), E_SUCCESS);
    // The thread took the frame and now waits for the UI thread, which has not served it yet.
    Lib.PushFrame(101, Seq(0, 4));
    ASSERT_TRUE(Lib.WaitConsumed());
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(dev->Close(), E_SUCCESS);
    EXPECT_EQ(notified, 1);

    // The engine's notification closes the transport (a disconnect in reaction to the data).
    TStat inner = E_CMD_FAILED;
    dev->OnDataAvailable = [&](TDevice*, int32_t) {
        ++notified;
        inner = dev->Close();
    };
    ASSERT_EQ(OpenThroughDialog(*dev, QStringLiteral("Net 0")), E_SUCCESS);
    Lib.PushFrame(101, Seq(0, 4));
    Lib.PushFrame(101, Seq(4, 4));
    ASSERT_TRUE(SpinUntil([&] { return !dev->IsOpen(); }));
    EXPECT_EQ(inner, E_SUCCESS);
    EXPECT_EQ(notified, 2);
    EXPECT_EQ(Disconnected, 2);

    // An error box whose owner closes the transport while it is up.
    TMessageRecorder boxes;
    SetMessageHook([&](const TMessage&) { dev->Close(); });
    TFakeCanLib lib2;
    dev->SetCanApi(lib2.Api());
    ASSERT_EQ(OpenThroughDialog(*dev, QStringLiteral("Net 0")), E_SUCCESS);
    lib2.FailRead(CAN_IO_ERROR);
    ASSERT_TRUE(SpinUntil([&] { return !dev->IsOpen(); }));
    EXPECT_EQ(Disconnected, 3);
    ProcessEventsFor(120);
    EXPECT_EQ(lib2.OpenHandles(), 0);
}

TEST_F(CANDeviceTest, OpenFromSettingsWithLinkKeysOpensWithoutTheDialog) {
    auto dev = MakeDevice();
    Lib.Interfaces = Named({"can0", "can1"});
    Settings.WriteFile(QStringLiteral("can.cfg"), "[common]\nbitrate=6\nid=7\n");
    TIniFile script(Settings.Path(QStringLiteral("script.ini")));
    script.WriteString(QStringLiteral("link"), QStringLiteral("backend"), QStringLiteral("virtualcan"));
    script.WriteInteger(QStringLiteral("link"), QStringLiteral("net"), 1);
    script.WriteInteger(QStringLiteral("link"), QStringLiteral("bitrate"), 2);
    script.WriteInteger(QStringLiteral("link"), QStringLiteral("id"), 50);
    script.WriteInteger(QStringLiteral("net only"), QStringLiteral("net"), 0);
    script.WriteInteger(QStringLiteral("bad rate"), QStringLiteral("bitrate"), 3);
    script.WriteString(QStringLiteral("bad net"), QStringLiteral("net"), QStringLiteral("one"));
    {
        TModalDriver noDialog(2000);
        noDialog.Then(TModalDriver::Reject());
        EXPECT_EQ(dev->OpenFromSettings(script, QStringLiteral("link")), E_SUCCESS);
        EXPECT_EQ(Lib.Calls(), (TStrings{"open 1", "baud 2", "idadd 51"}));
        EXPECT_EQ(dev->TxId(), 50);
        // The script's backend was for that open only: the dialog's opens read can.cfg again.
        EXPECT_EQ(CanBackendOverride(), QString());
        EXPECT_EQ(CanActiveBackend(), QStringLiteral("socketcan"));
        TIniFile cfg(TIniFile::PathFor(QStringLiteral("can.cfg")));
        EXPECT_EQ(cfg.ReadInteger(QStringLiteral("common"), QStringLiteral("bitrate"), -1), 2);
        EXPECT_EQ(cfg.ReadInteger(QStringLiteral("common"), QStringLiteral("id"), -1), 50);
        EXPECT_TRUE(SpinUntil([&] { return Connected == 1; }));

        // Keys left out come from can.cfg, as the dialog would have offered them.
        Settings.WriteFile(QStringLiteral("can.cfg"), "[common]\nbitrate=6\nid=7\n");
        EXPECT_EQ(dev->OpenFromSettings(script, QStringLiteral("net only")), E_SUCCESS);
        EXPECT_EQ(CallsFrom("open 0"), (TStrings{"open 0", "baud 6", "idadd 8"}));
        dev->Close();

        const size_t before = Lib.Calls().size();
        EXPECT_EQ(dev->OpenFromSettings(script, QStringLiteral("bad rate")), E_INVALID_PARAMETER);
        EXPECT_EQ(dev->OpenFromSettings(script, QStringLiteral("bad net")), E_NOT_FOUND);
        EXPECT_EQ(Lib.Calls().size(), before);
        EXPECT_EQ(noDialog.Handled(), 0);
    }
    CanSetBackendOverride(QString());

    // Without link keys: "Net 0" through the dialog.
    TModalDriver driver;
    driver.Then(TModalDriver::Reject());
    EXPECT_EQ(dev->OpenFromSettings(script, QStringLiteral("empty")), E_CMD_ABORTED);
    EXPECT_EQ(driver.Handled(), 1);
}

TEST_F(CANDeviceTest, CloseFromANotificationServedByAnotherCloseFinishesTheLinkOnce) {
    auto dev = MakeDevice();
    TIniFile script(Settings.Path(QStringLiteral("script.ini")));
    script.WriteInteger(QStringLiteral("link"), QStringLiteral("net"), 0);
    int notified = 0;
    TStat inner = E_CMD_FAILED;
    TStat reopened = E_CMD_FAILED;
    bool reopen = false;
    dev->OnDataAvailable = [&](TDevice*, int32_t) {
        ++notified;
        inner = dev->Close();
        if (reopen)
            reopened = dev->OpenFromSettings(script, QStringLiteral("link"));
    };
    const auto closes = [&] {
        const TStrings calls = Lib.Calls();
        return std::count(calls.begin(), calls.end(), std::string("close"));
    };

    for (bool again : {false, true}) {
        SCOPED_TRACE(again ? "the inner caller reopens" : "plain");
        reopen = again;
        ASSERT_EQ(OpenThroughDialog(*dev, QStringLiteral("Net 0")), E_SUCCESS);
        const int32_t first = dev->NetHandle();
        const auto closesBefore = closes();
        const int disconnectedBefore = Disconnected;
        // The receive thread waits in its data hand-over when the outer Close starts waiting for it.
        Lib.PushFrame(101, Seq(0, 4));
        ASSERT_TRUE(Lib.WaitConsumed());
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_EQ(dev->Close(), E_SUCCESS);
        EXPECT_EQ(inner, E_SUCCESS);
        EXPECT_EQ(closes() - closesBefore, 1);
        EXPECT_EQ(Disconnected - disconnectedBefore, 1);
        if (again) {
            // The link opened by the handler is the one left open.
            EXPECT_EQ(reopened, E_SUCCESS);
            EXPECT_TRUE(dev->IsOpen());
            EXPECT_NE(dev->NetHandle(), first);
            EXPECT_EQ(Lib.OpenHandles(), 1);
            dev->OnDataAvailable = nullptr;
            EXPECT_EQ(dev->Close(), E_SUCCESS);
        }
        EXPECT_EQ(Lib.OpenHandles(), 0);
        ProcessEventsFor(20); // the thread object released inside its hand-over goes here
    }
    EXPECT_EQ(notified, 2);
}
