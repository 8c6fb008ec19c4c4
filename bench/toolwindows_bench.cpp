// Tool window figures, on the offscreen platform unless a display is given:
//  - command log: AddPacket while the history is full (150 packets shown), 64-byte and 4 KiB
//    payloads; the same with the window painting as it would between packets arriving at
//    5,000 per second (one event-loop pass every 83 packets, a 60 Hz screen); the full redraw
//    when an option changes;
//  - custom command editor: parse and decode of a 64 KiB payload text and of the largest
//    payload, as plain functions and as one keystroke in the window.
#include "ui/CommLogForm.h"
#include "ui/CustomCmdForm.h"
#include "cmdtext/CustomCmdText.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <sys/resource.h>

#include <algorithm>

#include <benchmark/benchmark.h>

namespace {
TPacket MakePacket(int Size, int Index) {
    TPacket p;
    p.CommandID = 0x21;
    p.Length = Size;
    p.Payload.resize(size_t(Size));
    for (int i = 0; i < Size; ++i)
        p.Payload[size_t(i)] = uint8_t(i + Index);
    return p;
}

void Fill(TCommLog& Log, int Size) {
    for (int i = 0; i < TCommLog::HistorySize; ++i)
        Log.AddPacket(MakePacket(Size, i), i % 2 == 1);
}

void ShowLog(TCommLog& Log) {
    Log.show();
    QCoreApplication::processEvents();
    // Both options on: the longest lines.
    Log.findChild<QCheckBox*>("cbEvaluateErrorCodes")->setChecked(true);
    Log.findChild<QCheckBox*>("cbShowIDDescr")->setChecked(true);
}

// The call the device makes: the history takes the packet, the view catches up later.
void BM_CommLogAddPacket(benchmark::State& State) {
    const int size = int(State.range(0));
    TCommLog log;
    ShowLog(log);
    Fill(log, size);
    const TPacket p = MakePacket(size, 7);
    bool received = false;
    for (auto _ : State) {
        log.AddPacket(p, received);
        received = !received;
    }
    log.UpdateView();
}
BENCHMARK(BM_CommLogAddPacket)->Arg(64)->Arg(4096)->Unit(benchmark::kMicrosecond);

// A packet that the view shows at once (packets arriving slower than the view interval):
// trim the oldest lines, append one, lay it out, scroll, paint.
void BM_CommLogAddPacketShown(benchmark::State& State) {
    const int size = int(State.range(0));
    TCommLog log;
    ShowLog(log);
    Fill(log, size);
    const TPacket p = MakePacket(size, 7);
    bool received = false;
    for (auto _ : State) {
        log.AddPacket(p, received);
        log.UpdateView();
        QCoreApplication::processEvents();
        received = !received;
    }
}
BENCHMARK(BM_CommLogAddPacketShown)->Arg(64)->Arg(4096)->Unit(benchmark::kMicrosecond);

double ThreadCpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_THREAD, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// One second of packets arriving at 5,000 per second (5 every millisecond) with the window shown
// and painting: the processor share the log takes and its cost per packet.
void BM_CommLogStream5000(benchmark::State& State) {
    const int size = int(State.range(0));
    TCommLog log;
    ShowLog(log);
    Fill(log, size);
    const TPacket p = MakePacket(size, 3);
    double cpu = 0;
    int64_t packets = 0;
    for (auto _ : State) {
        QElapsedTimer clock;
        clock.start();
        int added = 0;
        const double before = ThreadCpuSeconds();
        QTimer tick;
        tick.setTimerType(Qt::PreciseTimer);
        tick.setInterval(1);
        QEventLoop loop;
        // Catches up when a tick comes late, as a receive buffer would deliver the backlog at once.
        QObject::connect(&tick, &QTimer::timeout, [&] {
            const int due = int(std::min<qint64>(5000, clock.elapsed() * 5 + 5));
            for (; added < due; ++added)
                log.AddPacket(p, added % 2 == 1);
            if (added >= 5000)
                loop.quit();
        });
        tick.start();
        loop.exec();
        log.UpdateView();
        QCoreApplication::processEvents();
        cpu += ThreadCpuSeconds() - before;
        packets += added;
        State.SetIterationTime(double(clock.elapsed()) / 1000.0);
    }
    State.counters["cpu_share"] = cpu / double(State.iterations());
    State.counters["us_per_packet"] = cpu * 1e6 / double(packets);
}
BENCHMARK(BM_CommLogStream5000)
    ->Arg(64)
    ->Arg(4096)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(3);

void BM_CommLogRedraw(benchmark::State& State) {
    const int size = int(State.range(0));
    TCommLog log;
    ShowLog(log);
    Fill(log, size);
    for (auto _ : State) {
        log.OnOptionsChanged();
        QCoreApplication::processEvents();
    }
}
BENCHMARK(BM_CommLogRedraw)->Arg(64)->Arg(4096)->Unit(benchmark::kMillisecond);

QString PayloadText(qsizetype Chars) {
    QString text;
    for (int i = 0; text.size() + 4 <= Chars; ++i)
        text += QString::asprintf("$%02X ", i & 0xFF);
    return text;
}

// Arg 0: a 64 KiB text (16,384 bytes in "$XX " notation); arg 1: the largest payload (65,535 bytes).
QString BenchText(int64_t Which) {
    return Which == 0 ? PayloadText(64 * 1024) : PayloadText(4 * qsizetype(MaxPayloadLength));
}

void BM_EditorParseDecode(benchmark::State& State) {
    const QString text = BenchText(State.range(0));
    TByteArray payload;
    for (auto _ : State) {
        const bool ok = ParseEditorPayload(text, payload);
        benchmark::DoNotOptimize(ok);
        const TPacketDecoding d = DecodeCommandPacket(0x21, payload);
        benchmark::DoNotOptimize(d.Payload.size());
    }
    State.counters["bytes"] = double(payload.size());
    State.counters["chars"] = double(text.size());
}
BENCHMARK(BM_EditorParseDecode)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// One keystroke in the window: the text changes, the editor parses, decodes and repaints.
void BM_EditorKeystroke(benchmark::State& State) {
    const QString text = BenchText(State.range(0));
    TCustomCmd editor;
    editor.SetEnabled(true);
    editor.show();
    QCoreApplication::processEvents();
    auto* payload = editor.findChild<QComboBox*>("edPayload");
    bool odd = false;
    for (auto _ : State) {
        payload->setEditText(odd ? text : text + QStringLiteral("1"));
        odd = !odd;
        QCoreApplication::processEvents();
    }
    State.counters["valid"] = editor.InputValid() ? 1 : 0;
}
BENCHMARK(BM_EditorKeystroke)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
