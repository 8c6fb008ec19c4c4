#include "GripperCommands.h"

#include "SimSession.h"
#include "protocol/convert.h"

namespace zelsim {

using namespace gripper;

namespace {
bool IsQuery(uint8_t id) {
    return id == GET_SYSTEM_STATE || id == GET_GRASPING_STATE || id == GET_POS || id == GET_SPEED ||
           id == GET_FORCE;
}

TByteArray FloatAnswer(float Value) {
    uint8_t b[4];
    WriteSingle(b, Value);
    return Answer(E_SUCCESS, b, 4);
}
} // namespace

TGripperCommands::TGripperCommands(const TGripperConfig& Config, const int16_t& Temperature, TSync Sync)
    : FModel(Config), FTemperature(Temperature), FSync(std::move(Sync)) {}

TByteArray TGripperCommands::QueryAnswer(uint8_t CommandID, double Now) const {
    switch (CommandID) {
    case GET_SYSTEM_STATE: {
        uint8_t b[4];
        WriteLongWord(b, FModel.SystemState(Now, FTemperature));
        return Answer(E_SUCCESS, b, 4);
    }
    case GET_GRASPING_STATE: {
        const uint8_t b = uint8_t(FModel.GraspState());
        return Answer(E_SUCCESS, &b, 1);
    }
    case GET_POS:
        return FloatAnswer(FModel.Position(Now));
    case GET_SPEED:
        return FloatAnswer(FModel.Speed(Now));
    default:
        return FloatAnswer(FModel.Force(Now));
    }
}

TByteArray TGripperCommands::Query(TSimSession& Session, const TPacket& Packet, double Now) {
    const uint8_t id = uint8_t(Packet.CommandID);
    const auto& p = Packet.Payload;
    if (p.empty())
        return QueryAnswer(id, Now);
    if (const TStat s = CheckLength(p.size(), 3); s != E_SUCCESS)
        return Answer(s);
    const bool enable = p[0] & 0x01;
    const bool onChange = p[0] & 0x02;
    const uint16_t period = ReadWord(&p[1]);
    if (!enable) {
        Session.Updates().Disable(id);
        return QueryAnswer(id, Now);
    }
    if (period == 0)
        return Answer(E_RANGE_ERROR);
    // The answer carries the current value so that the requester is right from the start.
    TByteArray answer = QueryAnswer(id, Now);
    Session.Updates().Enable(
        id, period, onChange, [this, id] { return QueryAnswer(id, FSync()); }, answer);
    return answer;
}

TByteArray TGripperCommands::Motion(const TPacket& Packet, double Now, uint64_t Owner) {
    const uint8_t id = uint8_t(Packet.CommandID);
    const auto& p = Packet.Payload;
    TStat s;
    switch (id) {
    case HOMING:
        s = CheckLength(p.size(), 1);
        if (s == E_SUCCESS)
            s = FModel.Homing(p[0], Now, Owner);
        break;
    case MOVE:
        s = CheckLength(p.size(), 9);
        if (s == E_SUCCESS)
            s = p[0] != 0 ? E_FEATURE_NOT_SUPPORTED
                          : FModel.Move(ReadSingle(&p[1]), ReadSingle(&p[5]), Now, Owner);
        break;
    case GRASP:
        s = CheckLength(p.size(), 8);
        if (s == E_SUCCESS)
            s = FModel.Grasp(ReadSingle(&p[0]), ReadSingle(&p[4]), Now, Owner);
        break;
    default: // RELEASE
        s = CheckLength(p.size(), 8);
        if (s == E_SUCCESS)
            s = FModel.Release(ReadSingle(&p[0]), ReadSingle(&p[4]), Now, Owner);
        break;
    }
    return Answer(s);
}

TByteArray TGripperCommands::SystemLimits() const {
    const auto& l = FModel.Limits();
    const float values[8] = {l.Stroke,          l.MinSpeed, l.MaxSpeed,     l.MinAcceleration,
                             l.MaxAcceleration, l.MinForce, l.NominalForce, l.OverdriveForce};
    uint8_t b[32];
    for (int i = 0; i < 8; ++i)
        WriteSingle(b + 4 * i, values[i]);
    return Answer(E_SUCCESS, b, sizeof b);
}

namespace {
TByteArray StopAnswer(TGripperModel& Model, uint8_t ID, const TByteArray& P, double Now,
                      std::vector<TFinished>& Finished) {
    if (const TStat s = CheckLength(P.size(), 0); s != E_SUCCESS)
        return Answer(s);
    if (ID == STOP)
        Model.Stop(Now, Finished);
    else
        Model.FastStop(Now, Finished);
    return Answer(E_SUCCESS);
}

TByteArray FastStopAckAnswer(TGripperModel& Model, const TByteArray& P) {
    TStat s = CheckLength(P.size(), 3);
    if (s == E_SUCCESS && !(P[0] == 'a' && P[1] == 'c' && P[2] == 'k'))
        s = E_INVALID_PARAMETER;
    if (s == E_SUCCESS)
        Model.FastStopAck();
    return Answer(s);
}

// SET_ACCELERATION and SET_FORCE_LIMIT.
TByteArray SettingAnswer(TGripperModel& Model, uint8_t ID, const TByteArray& P) {
    TStat s = CheckLength(P.size(), 4);
    if (s == E_SUCCESS)
        s = ID == SET_ACCELERATION ? Model.SetAcceleration(ReadSingle(&P[0]))
                                   : Model.SetForceLimit(ReadSingle(&P[0]));
    return Answer(s);
}

// GET_ACCELERATION and GET_FORCE_LIMIT.
TByteArray SettingQueryAnswer(const TGripperModel& Model, uint8_t ID, const TByteArray& P) {
    if (const TStat s = CheckLength(P.size(), 0); s != E_SUCCESS)
        return Answer(s);
    return FloatAnswer(ID == GET_ACCELERATION ? Model.Acceleration() : Model.ForceLimit());
}

TByteArray GraspingStatsAnswer(TGripperModel& Model, const TByteArray& P) {
    if (const TStat s = CheckLength(P.size(), 1); s != E_SUCCESS)
        return Answer(s);
    const TGraspingStats st = Model.Stats();
    uint8_t b[8];
    WriteLongWord(b, st.Grasps);
    WriteWord(b + 4, st.PartsNotFound);
    WriteWord(b + 6, st.PartsLost);
    if (P[0] & 0x01)
        Model.ResetStats();
    return Answer(E_SUCCESS, b, 8);
}

// Commands the device names but the simulator does not serve: soft limits, overdrive, tare and
// the fingers.
bool Unsupported(uint8_t ID) {
    switch (ID) {
    case SET_SOFT_LIMITS:
    case GET_SOFT_LIMITS:
    case CLEAR_SOFT_LIMITS:
    case OVERDRIVE_MODE:
    case TARE:
    case 0x60:
    case 0x61:
    case 0x62:
    case 0x63: // finger 0
    case 0x70:
    case 0x71:
    case 0x72:
    case 0x73: // finger 1
        return true;
    default:
        return false;
    }
}
} // namespace

bool TGripperCommands::Handle(TSimSession& Session, const TPacket& Packet, double Now, TByteArray& Out,
                              std::vector<TFinished>& Finished) {
    const uint8_t id = uint8_t(Packet.CommandID);
    const auto& p = Packet.Payload;
    if (IsQuery(id)) {
        Out = Query(Session, Packet, Now);
        return true;
    }
    switch (id) {
    case HOMING:
    case MOVE:
    case GRASP:
    case RELEASE:
        Out = Motion(Packet, Now, Session.Id());
        return true;
    case STOP:
    case FAST_STOP:
        Out = StopAnswer(FModel, id, p, Now, Finished);
        return true;
    case FAST_STOP_ACK:
        Out = FastStopAckAnswer(FModel, p);
        return true;
    case SET_ACCELERATION:
    case SET_FORCE_LIMIT:
        Out = SettingAnswer(FModel, id, p);
        return true;
    case GET_ACCELERATION:
    case GET_FORCE_LIMIT:
        Out = SettingQueryAnswer(FModel, id, p);
        return true;
    case GET_GRASPING_STATS:
        Out = GraspingStatsAnswer(FModel, p);
        return true;
    case GET_SYSTEM_LIMITS:
        Out = p.empty() ? SystemLimits() : Answer(E_NO_PARAM_EXPECTED);
        return true;
    default:
        if (!Unsupported(id))
            return false;
        Out = Answer(E_FEATURE_NOT_SUPPORTED);
        return true;
    }
}

void TGripperCommands::Report(double Now, uint8_t& CommandID, TByteArray& Payload) {
    CommandID = GET_POS;
    Payload = QueryAnswer(GET_POS, Now);
}

} // namespace zelsim
