// cell: four grippers of a robot cell driven at once from one thread. Every exchange is
// asynchronous: a command goes out, its answer (or timeout, or lost link) comes back in a callback,
// and the next step of that gripper starts from there, so no gripper ever waits for another.
//   cell LINK LINK LINK LINK      (tcp://127.0.0.1:1000, udp://HOST:PORT?listen=PORT, ...)
// Each gripper reads its temperature, moves to 40 mm, grasps a 20 mm part and releases it.
#include <engine/LinkAddress.h>
#include <protocol/convert.h>
#include <zel/ZEL.h>
#include <ZelVersion.h>

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {
struct TStep {
    const char* Name;
    uint8_t CommandID;
    TByteArray Payload;
};

// One gripper and where it is in its steps.
struct TStation {
    int Number = 0;
    std::unique_ptr<TZEL> Gripper = std::make_unique<TZEL>(nullptr);
    size_t Step = 0;
    int Reports = 0;
    bool Connected = false;
    bool Finished = false;
    bool Failed = false;
};

const std::vector<TStep>& Steps() {
    static const std::vector<TStep> steps = {
        {"temperature", CMD_ID_GET_TEMPERATURE, {}},
        {"move to 40 mm", TZEL::MOVE, TZEL::MovePayload(40, 200)},
        {"grasp 20 mm", TZEL::GRASP, TZEL::TwoFloatPayload(20, 100)},
        {"release", TZEL::RELEASE, TZEL::TwoFloatPayload(60, 200)},
    };
    return steps;
}

void Finish(TStation& S, bool Failed) {
    S.Finished = true;
    S.Failed = Failed;
    QCoreApplication::instance()->exit(0); // wakes the main loop, which looks at all stations
}

void RunStep(TStation& S);

// A step that answered "pending" ends with its final result; the next one starts from there.
void StepDone(TStation& S, TStat Status) {
    const TStep& step = Steps()[S.Step];
    std::printf("gripper %d: %s: %s\n", S.Number, step.Name, StatName(Status).c_str());
    if (Status != E_SUCCESS) {
        Finish(S, true);
        return;
    }
    ++S.Step;
    RunStep(S);
}

void RunStep(TStation& S) {
    if (S.Step == Steps().size()) {
        Finish(S, false);
        return;
    }
    const TStep& step = Steps()[S.Step];
    TStation* s = &S;
    const bool started = S.Gripper->StartExchange(
        step.CommandID, step.Payload,
        [s](TKORADevice*, const TExchangeResult& R) {
            if (!R.Ok()) {
                std::printf("gripper %d: %s: %s\n", s->Number, Steps()[s->Step].Name,
                            R.Kind == TExchangeResult::TKind::LinkLost ? "link lost" : "failed");
                Finish(*s, true);
                return;
            }
            if (R.Status == E_SUCCESS) {
                if (s->Step == 0 && R.Data.size() >= 2)
                    std::printf("gripper %d: %.1f degC\n", s->Number,
                                BytesToSmallInt(R.Data[0], R.Data[1]) / 10.0);
                StepDone(*s, E_SUCCESS);
            }
            // E_CMD_PENDING: the final result follows through the handler below.
        },
        [s](TKORADevice*, int32_t, TStat Status, const TByteArray&) { StepDone(*s, Status); });
    if (!started) {
        std::printf("gripper %d: %s could not be sent\n", S.Number, step.Name);
        Finish(S, true);
    }
}
} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 5) {
        std::fprintf(stderr, "usage: cell LINK LINK LINK LINK\n");
        return 2;
    }
    std::printf("ZEL device library %s\n", ZEL_VERSION);
    std::vector<TStation> cell(4);
    for (int i = 0; i < 4; ++i) {
        TStation& s = cell[size_t(i)];
        s.Number = i + 1;
        TLinkAddress link;
        QString error;
        if (!ParseLinkAddress(QString::fromLocal8Bit(argv[i + 1]), link, error)) {
            std::fprintf(stderr, "cell: %s\n", error.toLocal8Bit().constData());
            return 2;
        }
        s.Gripper->OnConnect.Add(&s, [&s](TKORADevice*) {
            s.Connected = true;
            QCoreApplication::instance()->exit(0);
        });
        s.Gripper->OnConnectSequenceDone.Add(&s, [](TKORADevice*) { QCoreApplication::instance()->exit(0); });
        s.Gripper->OnPositionChange.Add(&s, [&s](TKORADevice*) { ++s.Reports; });
        if (const TStat opened = s.Gripper->ConnectLink(link); opened != E_SUCCESS) {
            std::fprintf(stderr, "cell: cannot open %s: %s\n", link.Description().toLocal8Bit().constData(),
                         StatToStr(opened).c_str());
            return 1;
        }
    }
    // The main loop runs until every station has its outcome, or the time is up.
    QTimer limit;
    bool timedOut = false;
    QObject::connect(&limit, &QTimer::timeout, [&] {
        timedOut = true;
        QCoreApplication::exit(0);
    });
    limit.start(5000);
    auto all = [&](auto Pred) {
        for (const TStation& s : cell)
            if (!Pred(s))
                return false;
        return true;
    };
    while (!timedOut && !all([](const TStation& s) { return s.Connected; }))
        app.exec();
    if (timedOut) {
        std::fprintf(stderr, "cell: not every gripper connected\n");
        return 1;
    }
    for (TStation& s : cell) {
        std::printf("gripper %d: connected, serial number %u\n", s.Number, unsigned(s.Gripper->SerialNumber));
        // Position reports every 10 ms while the four move side by side.
        s.Gripper->AutoUpdatePosition(true, 10, false);
        RunStep(s);
    }
    timedOut = false;
    limit.start(30000);
    while (!timedOut && !all([](const TStation& s) { return s.Finished; }))
        app.exec();
    bool ok = !timedOut;
    for (TStation& s : cell) {
        ok = ok && !s.Failed && s.Reports > 0;
        std::printf("gripper %d: %s, %d position reports\n", s.Number,
                    s.Failed || !s.Finished ? "FAILED" : "done", s.Reports);
        s.Gripper->OnConnect.Remove(&s);
        s.Gripper->OnConnectSequenceDone.Remove(&s);
        s.Gripper->OnPositionChange.Remove(&s);
        if (s.Gripper->IsConnected()) {
            s.Gripper->AutoUpdatePosition(false, 10, false);
            s.Gripper->Disconnect();
        }
    }
    std::printf(ok ? "cell: all four done\n" : "cell: FAILED\n");
    return ok ? 0 : 1;
}
