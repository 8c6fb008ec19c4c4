// Eight simulated grippers driven from one thread: exchanges of different devices never wait for
// each other, while each device still refuses a second exchange of its own.
#include "DeviceTestLink.h"
#include "Simulator.h"
#include "TempSettingsFolder.h"
#include "TestRecorders.h"
#include "TestWait.h"
#include "zel/ZEL.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {
constexpr int Devices = 8;

struct TCellDevice {
    std::unique_ptr<zelsim::TSimThread> Sim;
    std::unique_ptr<TZEL> Zel = std::make_unique<TZEL>(nullptr);
    std::unique_ptr<TDeviceTestLink> Link = std::make_unique<TDeviceTestLink>(*Zel);
    int Answers = 0;
    int Positions = 0;
    std::vector<TExchangeResult::TKind> Failures;
};

class ManyDevicesE2E : public SettingsFolderTest {
protected:
    void SetUp() override {
        Cell.reserve(Devices);
        for (int i = 0; i < Devices; ++i) {
            zelsim::TSimConfig cfg;
            cfg.TcpPort = 0;
            cfg.Gripper.StartReferenced = true;
            auto& d = Cell.emplace_back();
            d.Sim = std::make_unique<zelsim::TSimThread>(cfg);
            std::string error;
            ASSERT_TRUE(d.Sim->Start(&error)) << error;
        }
        // Opened all at once: their connect sequences run side by side.
        for (auto& d : Cell)
            ASSERT_EQ(d.Link->Open(d.Sim->TcpPort()), E_SUCCESS);
        for (auto& d : Cell) {
            ASSERT_TRUE(d.Link->WaitConnectSequence());
            ASSERT_TRUE(d.Link->Accepted());
            d.Zel->OnPositionChange.Add(this, [&d](TKORADevice*) { ++d.Positions; });
        }
    }
    void TearDown() override {
        for (auto& d : Cell) {
            d.Zel->OnPositionChange.Remove(this);
            if (d.Zel->IsConnected())
                d.Zel->Disconnect();
        }
        Cell.clear();
    }
    void Late(int Index, int DelayMs) {
        zelsim::TFaultConfig faults;
        faults.DelayMs = DelayMs;
        Cell[size_t(Index)].Sim->Run([faults](zelsim::TSimulator& S) { S.SetFaults(faults); });
    }
    // Reads the temperature Rounds times in a row, each read started by the answer to the last.
    void ReadTemperatures(TCellDevice& D, int Rounds) {
        auto next = std::make_shared<std::function<void()>>();
        *next = [this, &D, Rounds, next] {
            const bool started = D.Zel->StartExchange(
                CMD_ID_GET_TEMPERATURE, {}, [&D, Rounds, next](TKORADevice*, const TExchangeResult& R) {
                    if (!R.Ok()) {
                        D.Failures.push_back(R.Kind);
                        *next = nullptr;
                        return;
                    }
                    if (++D.Answers < Rounds)
                        (*next)();
                    else
                        *next = nullptr; // the chain owns itself; end it
                });
            EXPECT_TRUE(started);
        };
        (*next)();
    }

    TRecordingErrorHandler Errors;
    std::vector<TCellDevice> Cell;
};
} // namespace

TEST_F(ManyDevicesE2E, ALateDeviceHoldsUpNoOtherAndABusyOneStillRefusesItsOwnSecondExchange) {
    for (int i = 1; i < Devices; ++i)
        ASSERT_EQ(Cell[size_t(i)].Zel->AutoUpdatePosition(true, 5, false), E_SUCCESS);
    Late(0, 1500);

    TCellDevice& late = Cell[0];
    bool lateAnswered = false;
    int fastAnswersBeforeLate = -1;
    ASSERT_TRUE(
        late.Zel->StartExchange(CMD_ID_GET_TEMPERATURE, {}, [&](TKORADevice*, const TExchangeResult& R) {
            EXPECT_TRUE(R.Ok());
            lateAnswered = true;
            fastAnswersBeforeLate = 0;
            for (int i = 1; i < Devices; ++i)
                fastAnswersBeforeLate += Cell[size_t(i)].Answers;
        }));
    EXPECT_TRUE(late.Zel->Busy());

    // The busy device refuses a second exchange of its own, asynchronous or not...
    TByteArray data;
    TStat status = E_SUCCESS;
    EXPECT_FALSE(late.Zel->ExecuteCommand(TZEL::GET_POS, {}, data, status));
    EXPECT_FALSE(late.Zel->StartExchange(TZEL::GET_POS, {}, {}));
    // ...while the others answer at once, synchronously as well.
    EXPECT_NEAR(Cell[1].Zel->GetTemperature(), 31.2, 1e-9);
    EXPECT_FALSE(Cell[1].Zel->Busy());

    for (int i = 1; i < Devices; ++i)
        ReadTemperatures(Cell[size_t(i)], 20);
    ASSERT_TRUE(WaitUntil([&] { return lateAnswered; }, 5000));
    // Every fast device finished its twenty reads while the late one was still waiting.
    EXPECT_EQ(fastAnswersBeforeLate, 20 * (Devices - 1));
    for (int i = 1; i < Devices; ++i) {
        EXPECT_EQ(Cell[size_t(i)].Answers, 20) << "device " << i;
        EXPECT_TRUE(Cell[size_t(i)].Failures.empty()) << "device " << i;
        EXPECT_GT(Cell[size_t(i)].Positions, 10) << "reports of device " << i << " interleave";
    }

    // Stop goes out on the busy device and is answered, late as everything from it.
    ASSERT_TRUE(late.Zel->StartExchange(CMD_ID_GET_TEMPERATURE, {}, {}));
    EXPECT_EQ(late.Zel->Stop(), E_SUCCESS);
    EXPECT_EQ(Errors.Count(), 0);
}

TEST_F(ManyDevicesE2E, ALostLinkEndsOnlyItsOwnExchanges) {
    TCellDevice& lost = Cell[3];
    Late(3, 1000); // its answer would come after the link is gone
    std::vector<TExchangeResult::TKind> outcome;
    ASSERT_TRUE(
        lost.Zel->StartExchange(CMD_ID_GET_TEMPERATURE, {},
                                [&](TKORADevice*, const TExchangeResult& R) { outcome.push_back(R.Kind); }));
    lost.Sim.reset();
    ASSERT_TRUE(WaitUntil([&] { return !outcome.empty(); }, 5000));
    EXPECT_EQ(outcome, (std::vector<TExchangeResult::TKind>{TExchangeResult::TKind::LinkLost}));
    EXPECT_FALSE(lost.Zel->IsConnected());
    EXPECT_EQ(lost.Link->Disconnects(), 1);
    EXPECT_FALSE(lost.Zel->Busy());

    for (int i = 0; i < Devices; ++i)
        if (i != 3)
            ReadTemperatures(Cell[size_t(i)], 5);
    ASSERT_TRUE(WaitUntil(
        [&] {
            int done = 0;
            for (const auto& d : Cell)
                done += d.Answers;
            return done == 5 * (Devices - 1);
        },
        5000));
    for (int i = 0; i < Devices; ++i)
        EXPECT_EQ(Cell[size_t(i)].Zel->IsConnected(), i != 3) << "device " << i;
    // A device whose exchange could not start says so at once, without a callback.
    EXPECT_FALSE(
        lost.Zel->StartExchange(CMD_ID_GET_TEMPERATURE, {}, [](TKORADevice*, const TExchangeResult&) {
            ADD_FAILURE() << "called for an exchange that never started";
        }));
}

TEST_F(ManyDevicesE2E, AnUnansweredExchangeTimesOutWithTheSynchronousError) {
    zelsim::TFaultConfig faults;
    faults.DropShare = 1;
    Cell[5].Sim->Run([faults](zelsim::TSimulator& S) { S.SetFaults(faults); });
    std::vector<TExchangeResult> results;
    ASSERT_TRUE(Cell[5].Zel->StartExchange(
        CMD_ID_GET_TEMPERATURE, {}, [&](TKORADevice*, const TExchangeResult& R) { results.push_back(R); }));
    ReadTemperatures(Cell[6], 30);
    ASSERT_TRUE(WaitUntil([&] { return !results.empty(); }, 5000));
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].Kind, TExchangeResult::TKind::Timeout);
    try {
        std::rethrow_exception(results[0].Error);
    } catch (const EResponseTimeout& e) {
        EXPECT_STREQ(e.what(), "Timeout while waiting for response of command CMD_ID_GET_TEMPERATURE");
    }
    EXPECT_EQ(Cell[6].Answers, 30);
    EXPECT_TRUE(Cell[6].Zel->IsConnected());
}
