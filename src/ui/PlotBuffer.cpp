#include "ui/PlotBuffer.h"

#include "zel/ZEL_commands.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstring>
#include <fstream>

int64_t SteadyMicroseconds() {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

// ---- TSampleRing

void TSampleRing::Append(int64_t TimeUs, float Value) {
    if (FCapacity == 0)
        return;
    if (FTime.size() < FCapacity) {
        // Grow by doubling, but never past the capacity, so that a full ring holds what it states.
        if (FTime.size() == FTime.capacity()) {
            const size_t Want = std::min(FCapacity, std::max<size_t>(4096, FTime.size() * 2));
            FTime.reserve(Want);
            FValue.reserve(Want);
        }
        FTime.push_back(TimeUs);
        FValue.push_back(Value);
        return;
    }
    FTime[FHead] = TimeUs;
    FValue[FHead] = Value;
    if (++FHead == FCapacity)
        FHead = 0;
}

void TSampleRing::Clear() {
    FTime.clear();
    FValue.clear();
    FHead = 0;
}

size_t TSampleRing::LowerBound(int64_t TimeUs, size_t From, size_t To) const {
    size_t Lo = From, Hi = To;
    while (Lo < Hi) {
        size_t Mid = Lo + (Hi - Lo) / 2;
        if (TimeAt(Mid) < TimeUs)
            Lo = Mid + 1;
        else
            Hi = Mid;
    }
    return Lo;
}

std::pair<size_t, size_t> TSampleRing::MinMaxIndex(size_t First, size_t End) const {
    // Scans the ring's storage in at most two contiguous pieces; this loop is most of a frame's work.
    size_t MinI = First, MaxI = First;
    float Min = ValueAt(First), Max = Min;
    size_t I = First + 1;
    while (I < End) {
        const size_t P = Physical(I);
        const size_t Count = std::min(End - I, FValue.size() - P);
        const float* V = FValue.data() + P;
        for (size_t K = 0; K < Count; ++K) {
            if (V[K] < Min) {
                Min = V[K];
                MinI = I + K;
            }
            if (V[K] > Max) {
                Max = V[K];
                MaxI = I + K;
            }
        }
        I += Count;
    }
    return {MinI, MaxI};
}

std::optional<float> ValueAt(const TSampleRing& Ring, int64_t TimeUs) {
    // Upper bound: the first sample after TimeUs; the one before it is the answer.
    size_t I = Ring.LowerBound(TimeUs == INT64_MAX ? TimeUs : TimeUs + 1);
    if (I == 0)
        return std::nullopt;
    return Ring.ValueAt(I - 1);
}

// ---- TPlotBuffer

TPlotBuffer::TPlotBuffer(TPlotClock Clock, size_t Samples, size_t StateChanges)
    : FClock(Clock ? std::move(Clock) : TPlotClock(SteadyMicroseconds)), FPosition(Samples), FForce(Samples),
      FStates(StateChanges) {}

int64_t TPlotBuffer::Stamp() {
    int64_t Now = FClock();
    if (!FStarted) {
        FStarted = true;
        FEpoch = Now;
    }
    ++FGeneration;
    return Now;
}

void TPlotBuffer::AddPosition(double Mm) {
    FPosition.Append(Stamp(), float(Mm));
}
void TPlotBuffer::AddForce(double N) {
    FForce.Append(Stamp(), float(N));
}

void TPlotBuffer::AddGraspingState(int State) {
    int64_t Now = Stamp();
    // Only changes make a band edge; a repeated report would fill the ring for nothing.
    if (FStates.Size() > 0 && int(FStates.ValueAt(FStates.Size() - 1)) == State)
        return;
    FStates.Append(Now, float(State));
}

void TPlotBuffer::Clear() {
    FPosition.Clear();
    FForce.Clear();
    FStates.Clear();
    FStarted = false;
    FEpoch = 0;
    ++FGeneration;
}

double TPlotBuffer::Now() const {
    return FStarted ? ToSeconds(FClock()) : 0.0;
}

std::optional<double> TPlotBuffer::FirstTime() const {
    std::optional<int64_t> T;
    for (const TSampleRing* R : {&FPosition, &FForce, &FStates})
        if (R->Size() > 0 && (!T || R->TimeAt(0) < *T))
            T = R->TimeAt(0);
    return T ? std::optional<double>(ToSeconds(*T)) : std::nullopt;
}

std::optional<double> TPlotBuffer::LastTime() const {
    std::optional<int64_t> T;
    for (const TSampleRing* R : {&FPosition, &FForce, &FStates})
        if (R->Size() > 0 && (!T || R->TimeAt(R->Size() - 1) > *T))
            T = R->TimeAt(R->Size() - 1);
    return T ? std::optional<double>(ToSeconds(*T)) : std::nullopt;
}

std::optional<double> TPlotBuffer::PositionAt(double Seconds) const {
    auto V = ValueAt(FPosition, ToMicroseconds(Seconds));
    return V ? std::optional<double>(*V) : std::nullopt;
}

std::optional<double> TPlotBuffer::ForceAt(double Seconds) const {
    auto V = ValueAt(FForce, ToMicroseconds(Seconds));
    return V ? std::optional<double>(*V) : std::nullopt;
}

std::optional<int> TPlotBuffer::GraspingStateAt(double Seconds) const {
    auto V = ValueAt(FStates, ToMicroseconds(Seconds));
    return V ? std::optional<int>(int(*V)) : std::nullopt;
}

size_t TPlotBuffer::BytesWhenFull() const {
    return FPosition.BytesWhenFull() + FForce.BytesWhenFull() + FStates.BytesWhenFull();
}

// ---- Reduction

std::vector<TPlotPoint> ReducePoints(const TPlotBuffer& Buffer, const TSampleRing& Ring, double T0, double T1,
                                     int Columns) {
    std::vector<TPlotPoint> Out;
    if (Ring.Size() == 0 || Columns <= 0 || !(T1 > T0))
        return Out;
    const int64_t U0 = Buffer.ToMicroseconds(T0);
    const int64_t U1 = Buffer.ToMicroseconds(T1);
    const size_t First = Ring.LowerBound(U0);
    const size_t End = Ring.LowerBound(U1 + 1);
    Out.reserve(size_t(std::min<int64_t>(int64_t(End - First), int64_t(Columns) * 2)) + 2);

    auto Emit = [&](size_t I) { Out.push_back({Buffer.ToSeconds(Ring.TimeAt(I)), Ring.ValueAt(I)}); };
    if (First > 0)
        Emit(First - 1);

    const double Span = double(U1 - U0);
    size_t I = First;
    while (I < End) {
        // The column of this sample, and the first time of the next column.
        int64_t Column =
            std::min<int64_t>(int64_t(double(Ring.TimeAt(I) - U0) * Columns / Span), Columns - 1);
        int64_t ColumnEnd = U0 + int64_t(std::ceil(double(Column + 1) * Span / Columns));
        const size_t J = Column == Columns - 1 ? End : Ring.LowerBound(ColumnEnd, I + 1, End);
        const auto [MinI, MaxI] = Ring.MinMaxIndex(I, J);
        if (MinI == MaxI) {
            Emit(MinI);
        } else {
            Emit(std::min(MinI, MaxI));
            Emit(std::max(MinI, MaxI));
        }
        I = J;
    }
    if (End < Ring.Size())
        Emit(End);
    return Out;
}

std::vector<TStateSpan> StateSpans(const TPlotBuffer& Buffer, double T0, double T1) {
    std::vector<TStateSpan> Out;
    const TSampleRing& Ring = Buffer.GraspingStates();
    if (Ring.Size() == 0 || !(T1 > T0))
        return Out;
    size_t I = Ring.LowerBound(Buffer.ToMicroseconds(T0) + 1);
    if (I > 0)
        --I; // the state in force at T0
    for (; I < Ring.Size(); ++I) {
        double Start = Buffer.ToSeconds(Ring.TimeAt(I));
        if (Start > T1)
            break;
        double Stop = I + 1 < Ring.Size() ? Buffer.ToSeconds(Ring.TimeAt(I + 1)) : T1;
        Start = std::max(Start, T0);
        Stop = std::min(Stop, T1);
        if (Stop > Start)
            Out.push_back({Start, Stop, int(Ring.ValueAt(I))});
    }
    return Out;
}

// ---- CSV

std::string GraspingStateText(int State) {
    if (State >= 0 && State < int(std::size(GraspingStateNames)))
        return std::string(GraspingStateNames[State]);
    return std::to_string(State);
}

namespace {
// Shortest text that reads back as the same float, independent of the locale.
void PutFloat(std::ostream& Out, float V) {
    char Text[32];
    auto R = std::to_chars(Text, Text + sizeof Text, V);
    Out.write(Text, R.ptr - Text);
}

void PutSeconds(std::ostream& Out, int64_t Us) {
    char Text[32];
    auto R = std::to_chars(Text, Text + sizeof Text, double(Us) * 1e-6, std::chars_format::fixed, 6);
    Out.write(Text, R.ptr - Text);
}
} // namespace

void WriteCsv(const TPlotBuffer& Buffer, std::ostream& Out) {
    Out << "Time (s),Position (mm),Force (N),Grasping state\n";
    const TSampleRing* Rings[3] = {&Buffer.Position(), &Buffer.Force(), &Buffer.GraspingStates()};
    size_t Next[3] = {0, 0, 0};
    std::optional<float> Last[3];
    const int64_t Epoch = Buffer.ToMicroseconds(0);
    for (;;) {
        // Merge the three rings by time; on equal times position goes first, then force, then state.
        int Pick = -1;
        for (int K = 0; K < 3; ++K)
            if (Next[K] < Rings[K]->Size() &&
                (Pick < 0 || Rings[K]->TimeAt(Next[K]) < Rings[Pick]->TimeAt(Next[Pick])))
                Pick = K;
        if (Pick < 0)
            break;
        const int64_t T = Rings[Pick]->TimeAt(Next[Pick]);
        Last[Pick] = Rings[Pick]->ValueAt(Next[Pick]);
        ++Next[Pick];
        PutSeconds(Out, T - Epoch);
        Out << ',';
        if (Last[0])
            PutFloat(Out, *Last[0]);
        Out << ',';
        if (Last[1])
            PutFloat(Out, *Last[1]);
        Out << ',';
        if (Last[2])
            Out << GraspingStateText(int(*Last[2]));
        Out << '\n';
    }
}

bool ExportCsv(const TPlotBuffer& Buffer, const std::string& Path, std::string* Error) {
    std::ofstream File(Path, std::ios::binary | std::ios::trunc);
    if (File)
        WriteCsv(Buffer, File);
    if (File)
        File.flush();
    if (!File) {
        if (Error)
            *Error = std::strerror(errno);
        return false;
    }
    return true;
}
