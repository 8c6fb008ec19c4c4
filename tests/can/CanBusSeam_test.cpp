// The CAN transport and library layer against scripted interfaces and bus devices: interface
// order, bit rates, bus errors, unplugging, a full transmit queue and receive overflow.
#include "transports/CANDevice.h"
#include "linkdialogs/CanParamsDialog.h"
#include "FakeCanBus.h"
#include "platform/IniFile.h"
#include "ModalDriver.h"
#include "TempSettingsFolder.h"
#include "TestRecorders.h"
#include "TestWait.h"
#include "WindowControls.h"

#include <QLabel>
#include <QLoggingCategory>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

namespace {
// Debug output of every thread while in scope.
class TDebugCapture {
public:
    TDebugCapture() {
        Instance = this;
        QLoggingCategory::setFilterRules(QStringLiteral("zel.can.debug=true"));
        FPrevious = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& Text) {
            TDebugCapture* self = Instance.load();
            if (!self)
                return;
            std::lock_guard<std::mutex> l(self->FLock);
            self->FLines.append(Text);
        });
    }
    ~TDebugCapture() {
        QLoggingCategory::setFilterRules(QString());
        qInstallMessageHandler(FPrevious);
        Instance = nullptr;
    }
    QStringList Lines() const {
        std::lock_guard<std::mutex> l(FLock);
        return FLines;
    }
    bool Contains(const QString& Part) const {
        const QStringList lines = Lines();
        return std::any_of(lines.begin(), lines.end(), [&](const QString& L) { return L.contains(Part); });
    }

private:
    static inline std::atomic<TDebugCapture*> Instance{nullptr};
    QtMessageHandler FPrevious = nullptr;
    mutable std::mutex FLock;
    QStringList FLines;
};

QCanBusFrame ErrorFrame(QCanBusFrame::FrameErrors Errors, uint8_t ControllerBits = 0) {
    QCanBusFrame f(QCanBusFrame::ErrorFrame);
    f.setError(Errors);
    f.setPayload(QByteArray("\x00", 1) + QByteArray(1, char(ControllerBits)) + QByteArray(6, '\0'));
    return f;
}

class CanBusSeamTest : public SettingsFolderTest {
protected:
    CanBusSeamTest() {
        Bus = std::make_shared<TFakeCanBus>();
        CanSetBusSeam(Bus);
        CanSetBackendOverride(QStringLiteral("fake"));
    }
    ~CanBusSeamTest() override {
        Dev.reset();
        CanSetBusSeam(nullptr);
        CanSetBackendOverride(QString());
        EXPECT_EQ(CanOpenHandleCount(), 0);
    }
    TCANDevice& MakeDevice() {
        Dev = std::make_unique<TCANDevice>(nullptr);
        Dev->OnConnected = [this](TDevice*) { ++Connected; };
        Dev->OnDisconnected = [this](TDevice*) { ++Disconnected; };
        Dev->OnDataAvailable = [this](TDevice*, int32_t Count) {
            std::vector<uint8_t> buf(size_t(std::max(Count, 0)));
            const int32_t n = Dev->Read(buf.data(), Count);
            Received.insert(Received.end(), buf.begin(), buf.begin() + std::max(n, 0));
        };
        return *Dev;
    }
    // Opens the interface without the dialog, as a script does.
    TStat OpenHeadless(const QString& Interface, int32_t Code = 4, int32_t Id = 100) {
        TIniFile script(Settings.Path(QStringLiteral("script.ini")));
        script.WriteString(QStringLiteral("link"), QStringLiteral("interface"), Interface);
        script.WriteInteger(QStringLiteral("link"), QStringLiteral("bitrate"), Code);
        script.WriteInteger(QStringLiteral("link"), QStringLiteral("id"), Id);
        return Dev->OpenFromSettings(script, QStringLiteral("link"));
    }

    std::shared_ptr<TFakeCanBus> Bus;
    std::unique_ptr<TCANDevice> Dev;
    std::vector<uint8_t> Received;
    int Connected = 0;
    int Disconnected = 0;
};
} // namespace

TEST_F(CanBusSeamTest, NetsAreTheInterfacesInNameOrderAndDownOnesSaySo) {
    TCANDevice& dev = MakeDevice();
    QStringList ports;
    dev.GetPortList(ports);
    EXPECT_EQ(ports, QStringList{QStringLiteral("not installed")});

    for (const char* name : {"vcan0", "can10", "can2", "slcan0"})
        Bus->Add(QString::fromLatin1(name));
    Bus->Change(QStringLiteral("slcan0"), [](TFakeCanBus::TInterface& I) { I.Up = false; });
    dev.GetPortList(ports);
    EXPECT_EQ(ports, (QStringList{QStringLiteral("Net 0 (can2)"), QStringLiteral("Net 1 (can10)"),
                                  QStringLiteral("Net 2 (slcan0, down)"), QStringLiteral("Net 3 (vcan0)")}));

    // A down interface is not opened; the user is told how to bring it up.
    TMessageRecorder boxes;
    {
        TModalDriver driver;
        driver.ThenAs<TCANParamsDlg>([](TCANParamsDlg* D) {
            auto* net = Control<QLabel>(*D, "lbInterface");
            EXPECT_TRUE(net->isVisibleTo(D));
            EXPECT_EQ(net->text(), QStringLiteral("CAN interface: Net 2 (slcan0, down)"));
            D->accept();
        });
        EXPECT_EQ(dev.Open(QStringLiteral("Net 2 (slcan0, down)")), E_IO_ERROR);
    }
    // The reason goes with the failed open, for the one box of the window that asked for it.
    EXPECT_EQ(boxes.Count(), 0);
    EXPECT_EQ(dev.LastError(), QStringLiteral("CAN interface slcan0 is down. Bring it up with:\n"
                                              "sudo ip link set slcan0 up type can bitrate 250000"));

    // An adapter plugged in after the list was shown moves the numbers: the name decides.
    Bus->Add(QStringLiteral("can1"));
    {
        TModalDriver driver;
        driver.ThenAs<TCANParamsDlg>([](TCANParamsDlg* D) {
            EXPECT_EQ(Control<QLabel>(*D, "lbInterface")->text(),
                      QStringLiteral("CAN interface: Net 2 (can10)"));
            D->accept();
        });
        ASSERT_EQ(dev.Open(QStringLiteral("Net 1 (can10)")), E_SUCCESS);
    }
    ASSERT_TRUE(Dev->Write(reinterpret_cast<const uint8_t*>("x"), 1) == E_SUCCESS);
    EXPECT_EQ(Bus->State(QStringLiteral("can10")).Written.size(), 1u);
    EXPECT_EQ(dev.Close(), E_SUCCESS);
    Bus->Remove(QStringLiteral("can10"));
    EXPECT_EQ(dev.Open(QStringLiteral("Net 2 (can10)")), E_NOT_FOUND);

    // Headless: an interface named in can.cfg; a name that does not exist is not found.
    Settings.WriteFile(QStringLiteral("can.cfg"), "[common]\ninterface=vcan0\n");
    TIniFile none(Settings.Path(QStringLiteral("none.ini")));
    ASSERT_EQ(dev.OpenFromSettings(none, QStringLiteral("link")), E_SUCCESS);
    ASSERT_TRUE(Dev->Write(reinterpret_cast<const uint8_t*>("y"), 1) == E_SUCCESS);
    EXPECT_EQ(Bus->State(QStringLiteral("vcan0")).Written.size(), 1u);
    EXPECT_EQ(OpenHeadless(QStringLiteral("can7")), E_NOT_FOUND);
}

TEST_F(CanBusSeamTest, BitRateIsAppliedOrFoundMatchingOrRefusedWithTheFix) {
    struct TRow {
        const char* What;
        int Rate;      // the interface's rate before the open
        bool Settable; // whether the backend may change it
        bool Virtual;
        TStat Result;
        std::vector<int> Requests; // rates asked of the backend
        const char* Message;       // nullptr: none
    };
    const TRow rows[] = {
        {"applied", 500000, true, false, E_SUCCESS, {250000}, nullptr},
        {"matching", 250000, false, false, E_SUCCESS, {}, nullptr},
        {"virtual", 0, false, true, E_SUCCESS, {}, nullptr},
        {"refused",
         500000,
         false,
         false,
         E_INVALID_PARAMETER,
         {250000},
         "CAN interface can0 runs at 500000 bit/s, not at the chosen 250000 bit/s, and its bit rate cannot "
         "be "
         "set from here. Set it with:\nsudo ip link set can0 down\nsudo ip link set can0 up type can bitrate "
         "250000"},
        {"unknown",
         0,
         false,
         false,
         E_INVALID_PARAMETER,
         {250000},
         "CAN interface can0 runs at an unknown bit rate, not at the chosen 250000 bit/s, and its bit rate "
         "cannot be set from here. Set it with:\nsudo ip link set can0 down\nsudo ip link set can0 up type "
         "can "
         "bitrate 250000"},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.What);
        TFakeCanBus::TInterface i;
        i.Bitrate = row.Rate;
        i.RateSettable = row.Settable;
        i.Virtual = row.Virtual;
        Bus->Add(QStringLiteral("can0"), i);
        TMessageRecorder boxes;
        MakeDevice();
        EXPECT_EQ(OpenHeadless(QStringLiteral("can0")), row.Result);
        EXPECT_EQ(Bus->State(QStringLiteral("can0")).RateRequests, row.Requests);
        EXPECT_EQ(boxes.Count(), 0);
        EXPECT_EQ(Dev->LastError(), row.Message ? QString::fromUtf8(row.Message) : QString());
        EXPECT_EQ(Dev->IsOpen(), row.Result == E_SUCCESS);
        EXPECT_EQ(CanOpenHandleCount(), row.Result == E_SUCCESS ? 1 : 0);
        Dev.reset();
    }
}

TEST_F(CanBusSeamTest, BusOffAndAVanishedOrDownedInterfaceAreALostLinkReportedOnce) {
    struct TRow {
        const char* What;
        std::function<void(TFakeCanBus&)> Fault;
        const char* Box;
    };
    const TRow rows[] = {
        {"bus off",
         [](TFakeCanBus& B) {
             // Bus-off comes with the error-passive frames before it; only the bus-off ends the link.
             B.Deliver(QStringLiteral("can0"),
                       {ErrorFrame(QCanBusFrame::ControllerError, 0x30),
                        ErrorFrame(QCanBusFrame::BusOffError), ErrorFrame(QCanBusFrame::BusOffError)});
         },
         "CAN Error: Connection to CAN-Interface lost (E0000018h)"},
        {"unplugged", [](TFakeCanBus& B) { B.Remove(QStringLiteral("can0")); },
         "CAN Error: Connection to CAN-Interface lost (E0000013h)"},
        {"set down",
         [](TFakeCanBus& B) {
             B.Change(QStringLiteral("can0"), [](TFakeCanBus::TInterface& I) { I.Up = false; });
         },
         "CAN Error: Connection to CAN-Interface lost (E0000019h)"},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.What);
        Bus->Add(QStringLiteral("can0"));
        TMessageRecorder boxes;
        TRecordingErrorHandler errors;
        MakeDevice();
        ASSERT_EQ(OpenHeadless(QStringLiteral("can0")), E_SUCCESS);
        row.Fault(*Bus);
        ASSERT_TRUE(errors.WaitFor(1));
        // Several watch periods later: still the one box and the one error.
        ProcessEventsFor(3 * 200);
        EXPECT_EQ(boxes.Texts(), QStringList{QString::fromLatin1(row.Box)});
        EXPECT_EQ(errors.Messages(), QStringList{QStringLiteral("Cannot access CAN-Hardware")});
        EXPECT_EQ(Dev->Close(), E_SUCCESS);
        EXPECT_EQ(Disconnected, 1);
        Dev.reset();
        Disconnected = 0;
    }
}

TEST_F(CanBusSeamTest, ErrorPassiveAndWarningGoToTheDebugOutputAndTheLinkStaysUp) {
    Bus->Add(QStringLiteral("can0"));
    TMessageRecorder boxes;
    TRecordingErrorHandler errors;
    MakeDevice();
    ASSERT_EQ(OpenHeadless(QStringLiteral("can0")), E_SUCCESS);
    TDebugCapture debug;
    ASSERT_TRUE(Bus->Deliver(QStringLiteral("can0"), {ErrorFrame(QCanBusFrame::ControllerError, 0x0C),
                                                      ErrorFrame(QCanBusFrame::ControllerError, 0x30),
                                                      QCanBusFrame(101, QByteArray("ok"))}));
    ASSERT_TRUE(WaitUntil([&] { return Received.size() == 2; }));
    ProcessEventsFor(2 * 200);
    EXPECT_TRUE(debug.Contains(QStringLiteral("CAN: can0 error frame:")));
    EXPECT_EQ(boxes.Count(), 0);
    EXPECT_EQ(errors.Count(), 0);
    EXPECT_TRUE(Dev->IsOpen());
    EXPECT_EQ(Dev->Write(reinterpret_cast<const uint8_t*>("go"), 2), E_SUCCESS);
}

TEST_F(CanBusSeamTest, FullTransmitQueueIsWaitedOutInOrderOrFailsThePacketAfterTheTimeOut) {
    Bus->Add(QStringLiteral("can0"));
    MakeDevice();
    ASSERT_EQ(OpenHeadless(QStringLiteral("can0")), E_SUCCESS);
    std::vector<uint8_t> packet(20);
    for (size_t i = 0; i < packet.size(); ++i)
        packet[i] = uint8_t(i);

    // ENOBUFS for three writes: the second and third frame wait, nothing is lost or reordered.
    ASSERT_EQ(Dev->Write(packet.data(), 8), E_SUCCESS);
    Bus->Change(QStringLiteral("can0"), [](TFakeCanBus::TInterface& I) { I.QueueFullWrites = 3; });
    EXPECT_EQ(Dev->Write(packet.data(), int32_t(packet.size())), E_SUCCESS);
    auto written = Bus->State(QStringLiteral("can0")).Written;
    ASSERT_EQ(written.size(), 4u);
    QByteArray stream;
    for (size_t i = 1; i < written.size(); ++i) {
        EXPECT_EQ(written[i].frameId(), 100u);
        stream += written[i].payload();
    }
    EXPECT_EQ(stream, QByteArray(reinterpret_cast<const char*>(packet.data()), qsizetype(packet.size())));

    // A queue that stays full past the transmit time-out: the packet fails, it is not half sent
    // silently, and the link carries the next packet whole once the queue drains.
    Bus->Change(QStringLiteral("can0"), [](TFakeCanBus::TInterface& I) { I.QueueFullWrites = -1; });
    EXPECT_EQ(Dev->Write(packet.data(), int32_t(packet.size())), E_WRITE_ERROR);
    EXPECT_EQ(Bus->State(QStringLiteral("can0")).Written.size(), 4u);
    Bus->Change(QStringLiteral("can0"), [](TFakeCanBus::TInterface& I) { I.QueueFullWrites = 0; });
    EXPECT_EQ(Dev->Write(packet.data(), int32_t(packet.size())), E_SUCCESS);
    EXPECT_EQ(Bus->State(QStringLiteral("can0")).Written.size(), 7u);
}

TEST_F(CanBusSeamTest, ReceiveOverflowIsCountedAndReportedNotDroppedSilently) {
    Bus->Add(QStringLiteral("can0"));
    int32_t h = -1;
    ASSERT_EQ(canOpen(0, 0, 256, 8192, 1000, 100, &h), CAN_SUCCESS);
    ASSERT_EQ(canIdAdd(h, 101), CAN_SUCCESS);
    const uint64_t before = CanFramesLostTotal();
    TDebugCapture debug;
    QList<QCanBusFrame> burst;
    for (int i = 0; i < 8192 + 5; ++i)
        burst.append(QCanBusFrame(101, QByteArray::number(i)));
    ASSERT_TRUE(Bus->Deliver(QStringLiteral("can0"), burst));
    EXPECT_EQ(CanFramesLost(h), 5u);
    EXPECT_EQ(CanFramesLostTotal() - before, 5u);
    EXPECT_TRUE(debug.Contains(QStringLiteral("CAN: can0 receive queue full: 5 frames dropped, 5 since")));
    // The frames that fitted come in order: the first ones.
    CMSG m;
    int32_t count = 1;
    ASSERT_EQ(canRead(h, &m, &count, nullptr), CAN_SUCCESS);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(m.data), m.len), QByteArray("0"));
    EXPECT_EQ(canClose(h), CAN_SUCCESS);
}
