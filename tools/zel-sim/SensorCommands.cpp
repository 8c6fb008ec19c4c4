#include "SensorCommands.h"

#include "SimCommands.h"
#include "SimSession.h"
#include "protocol/convert.h"

namespace zelsim {

using namespace sensor;

TSensorCommands::TSensorCommands(const TSensorConfig& Config, TSync Sync)
    : FModel(Config), FSync(std::move(Sync)) {}

TByteArray TSensorCommands::StartPeriodic(TSimSession& Session, const TByteArray& p) {
    // Optional payload: coding byte (2 = run-length), then the period in ms.
    if (p.size() != 0 && p.size() != 1 && p.size() != 3)
        return Answer(p.size() == 2 ? E_NOT_ENOUGH_PARAMS : E_CMD_FORMAT_ERROR);
    const bool rle = p.empty() ? FModel.Config().RunLength : p[0] == CodingRunLength;
    const int period = p.size() == 3 ? ReadWord(&p[1]) : FModel.Config().FramePeriodMs;
    if (period <= 0)
        return Answer(E_RANGE_ERROR);
    Session.Updates().Enable(FRAME_DATA, period, false, [this, rle] { return FModel.Frame(FSync(), rle); });
    return Answer(E_SUCCESS);
}

bool TSensorCommands::Handle(TSimSession& Session, const TPacket& Packet, double Now, TByteArray& Out,
                             std::vector<TFinished>& /*Finished*/) {
    const auto& p = Packet.Payload;
    // Commands without parameters share one length check.
    auto bare = [&](auto&& make) {
        const TStat s = CheckLength(p.size(), 0);
        Out = s == E_SUCCESS ? make() : Answer(s);
        return true;
    };
    switch (uint8_t(Packet.CommandID)) {
    case READ_SINGLE_FRAME:
        if (p.size() > 1)
            Out = Answer(E_CMD_FORMAT_ERROR);
        else
            Out = Answer(E_SUCCESS,
                         FModel.Frame(Now, p.empty() ? FModel.Config().RunLength : p[0] == CodingRunLength));
        return true;
    case START_PERIODIC_ACQ:
        Out = StartPeriodic(Session, p);
        return true;
    case STOP_PERIODIC_ACQ:
        return bare([&] {
            Session.Updates().Disable(FRAME_DATA);
            return Answer(E_SUCCESS);
        });
    case TARE:
        return bare([&] {
            FModel.Tare();
            return Answer(E_SUCCESS);
        });
    case MATRIX_INFO:
        return bare([&] { return Answer(E_SUCCESS, FModel.MatrixInfo()); });
    case THRESHOLD_SET: {
        const TStat s = CheckLength(p.size(), 2);
        if (s == E_SUCCESS)
            FModel.SetThreshold(ReadWord(&p[0]));
        Out = Answer(s);
        return true;
    }
    case THRESHOLD_GET:
        return bare([&] {
            uint8_t b[2];
            WriteWord(b, FModel.Threshold());
            return Answer(E_SUCCESS, b, 2);
        });
    case GAIN_SET: {
        const TStat s = CheckLength(p.size(), 1);
        if (s == E_SUCCESS)
            FModel.SetGain(p[0]);
        Out = Answer(s);
        return true;
    }
    case GAIN_GET:
        return bare([&] {
            const uint8_t g = FModel.Gain();
            return Answer(E_SUCCESS, &g, 1);
        });
    case TRANSDUCER_TYPE:
        return bare([&] {
            const auto& t = FModel.Config().TransducerType;
            return Answer(E_SUCCESS, TByteArray(t.begin(), t.end()));
        });
    case MASK_SET_WINDOW:
    case MASK_SET:
    case MASK_GET:
        Out = Answer(E_FEATURE_NOT_SUPPORTED);
        return true;
    default:
        return false;
    }
}

void TSensorCommands::Report(double Now, uint8_t& CommandID, TByteArray& Payload) {
    CommandID = FRAME_DATA;
    Payload = FModel.Frame(Now, FModel.Config().RunLength);
}

} // namespace zelsim
