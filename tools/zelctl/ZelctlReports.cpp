#include "ZelctlReports.h"

#include "device/KORADevice.h"
#include "ZelctlJUnit.h"
#include "ZelctlSession.h"
#include "ZelctlValues.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <csignal>

namespace {
QString Compact(const QJsonObject& Object) {
    return QString::fromUtf8(QJsonDocument(Object).toJson(QJsonDocument::Compact));
}
} // namespace

TZelctlReport::TZelctlReport(TZelctlSession& Session) : FSession(Session) {
    FClock.start();
    if (Json())
        FSession.SetErrorSink([this](const QString& Message) { FRecord.Errors << Message; });
}

TZelctlReport::~TZelctlReport() {
    FSession.SetErrorSink(nullptr);
}

QString TZelctlReport::Printable(const QString& Text) {
    QString out;
    out.reserve(Text.size());
    for (const QChar c : Text) {
        if (c == u'\\')
            out += QStringLiteral("\\\\");
        else if (c.category() == QChar::Other_Control)
            out += QStringLiteral("\\x") +
                   QStringLiteral("%1").arg(c.unicode(), 2, 16, QLatin1Char('0')).toUpper();
        else
            out += c;
    }
    return out;
}

QString TZelctlReport::UsageJson(const QString& Error, int Exit) {
    const QJsonObject o{{QStringLiteral("event"), QStringLiteral("usage")},
                        {QStringLiteral("ok"), false},
                        {QStringLiteral("error"), Error},
                        {QStringLiteral("exit"), Exit},
                        {QStringLiteral("time"), 0}};
    const QJsonObject end{{QStringLiteral("event"), QStringLiteral("end")},
                          {QStringLiteral("exit"), Exit},
                          {QStringLiteral("error"), Error},
                          {QStringLiteral("time"), 0}};
    return Compact(o) + QLatin1Char('\n') + Compact(end);
}

void TZelctlReport::Usage(const QStringList& Words, const TZelctlArguments& Args, const QString& Error,
                          int Exit, QTextStream& Out, QTextStream& Err) {
    if (Words.contains(QStringLiteral("--json")))
        Out << UsageJson(Error, Exit) << Qt::endl;
    else
        Err << "zelctl: " << Error << Qt::endl;
    // The parse may have stopped before --junit: a CI job still gets a report naming the error.
    QString junit = Args.JUnitPath;
    for (qsizetype i = 0; junit.isEmpty() && i < Words.size(); ++i) {
        if (Words[i] == QLatin1String("--junit") && i + 1 < Words.size())
            junit = Words[i + 1];
        else if (Words[i].startsWith(QLatin1String("--junit=")))
            junit = Words[i].mid(8);
    }
    if (junit.isEmpty())
        return;
    TZelctlJUnit report(junit);
    QString error;
    if (report.Open(error)) {
        report.Add(QStringLiteral("command line"), 0, TZelctlJUnit::CommandFailed, Error);
        report.Close(0, error);
    }
    if (!error.isEmpty())
        Err << "zelctl: " << error << Qt::endl;
}

bool TZelctlReport::Json() const {
    return FSession.Arguments().Json;
}

void TZelctlReport::Print(const QString& Line) {
    if (!Json())
        FSession.Out() << Line << Qt::endl;
}

void TZelctlReport::Emit(QJsonObject Object) {
    Object.insert(QStringLiteral("time"), double(FClock.elapsed()) / 1000.0);
    FSession.Out() << Compact(Object) << Qt::endl;
}

bool TZelctlReport::Fail(const QString& Message) {
    FRecord.CommandFailed = true;
    FRecord.Errors << Message;
    if (!Json())
        FSession.Error(Message);
    return false;
}

bool TZelctlReport::CheckFail(const QString& Message) {
    FRecord.CheckFailed = true;
    FRecord.Errors << Message;
    if (!Json())
        FSession.Error(Message);
    return false;
}

bool TZelctlReport::CheckAsyncErrors() {
    const QStringList errors = FSession.TakeErrors();
    for (const QString& e : errors)
        Fail(e);
    return errors.isEmpty();
}

bool TZelctlReport::Stopped() const {
    return FSession.LogFailed() || FSession.Interrupted() != 0;
}

bool TZelctlReport::CheckStopped() {
    const QString log = FSession.TakeLogFailure();
    if (!log.isEmpty()) {
        FLogFailed = true;
        Fail(log);
    }
    if (FSession.Interrupted() != 0 && !FInterruptTold) {
        FInterruptTold = true;
        Fail(FSession.Interrupted() == SIGINT ? QStringLiteral("Interrupted (SIGINT)")
             : FSession.Interrupted() == SIGTERM
                 ? QStringLiteral("Terminated (SIGTERM)")
                 : QStringLiteral("Stopped by signal %1").arg(FSession.Interrupted()));
    }
    return !Stopped();
}

void TZelctlReport::Clear() {
    FRecord = TRecord();
}

void TZelctlReport::RecordErrors(bool On) {
    if (Json())
        return;
    if (!On) {
        FSession.SetErrorSink(nullptr);
        return;
    }
    FSession.SetErrorSink([this](const QString& Message) {
        FRecord.Errors << Message;
        FSession.PrintError(Message);
    });
}

bool TZelctlReport::Done(const TZelctlCommand& C, bool Ok) {
    if (!Ok) {
        // A failed check is told apart only when nothing else went wrong.
        if (!FRecord.CheckFailed)
            FRecord.CommandFailed = true;
        (FRecord.CommandFailed ? FCommandFailed : FCheckFailed) = true;
    }
    FCase.Errors << FRecord.Errors;
    FCase.CommandFailed = FCase.CommandFailed || FRecord.CommandFailed;
    FCase.CheckFailed = FCase.CheckFailed || FRecord.CheckFailed;
    if (Json()) {
        QJsonObject o = FRecord.Values;
        o.insert(QStringLiteral("command"), C.Name);
        o.insert(QStringLiteral("args"), QJsonArray::fromStringList(C.Args));
        o.insert(QStringLiteral("origin"), C.Origin);
        o.insert(QStringLiteral("ok"), Ok);
        if (!Ok) {
            o.insert(QStringLiteral("error"), Errors());
            o.insert(QStringLiteral("failure"),
                     FRecord.CommandFailed ? QStringLiteral("command") : QStringLiteral("check"));
        }
        Emit(o);
    }
    return Ok;
}

void TZelctlReport::Pass(const TZelctlCommand& C, int Pass, int Count) {
    if (Json())
        Emit({{QStringLiteral("command"), C.Name},
              {QStringLiteral("origin"), C.Origin},
              {QStringLiteral("pass"), Pass},
              {QStringLiteral("count"), Count},
              {QStringLiteral("ok"), true}});
}

void TZelctlReport::Connected(bool Ok, const QElapsedTimer& Connecting) {
    const TKORADevice& d = *FSession.Device();
    const QString type = ZelctlValues::Text(TKORADevice::DeviceTypeToStr(d.DeviceType));
    const QString serial = QStringLiteral("%1").arg(d.SerialNumber, 8, 10, QLatin1Char('0'));
    const QString link = FSession.Arguments().Link.Description;
    if (Json()) {
        QJsonObject o{{QStringLiteral("event"), QStringLiteral("connect")},
                      {QStringLiteral("ok"), Ok},
                      {QStringLiteral("link"), link}};
        if (Ok) {
            o.insert(QStringLiteral("device_type"), QJsonObject{{QStringLiteral("code"), int(d.DeviceType)},
                                                                {QStringLiteral("name"), type}});
            o.insert(QStringLiteral("serial_number"), double(uint32_t(d.SerialNumber)));
        } else {
            o.insert(QStringLiteral("error"), Errors());
        }
        Emit(o);
    } else if (Ok) {
        Print(QStringLiteral("Connected to %1 (serial number %2) over %3.").arg(type, serial, link));
    }
    if (!Ok) {
        if (FJUnit)
            FJUnit->Add(QStringLiteral("connect over ") + link, double(Connecting.elapsed()) / 1000.0,
                        TZelctlJUnit::CommandFailed, Errors());
        Clear();
    }
}

void TZelctlReport::Disconnected(const QString& Error) {
    if (!Error.isEmpty()) {
        Fail(Error);
        FCommandFailed = true;
    }
    if (Json() && !FRecord.Errors.isEmpty())
        Emit({{QStringLiteral("event"), QStringLiteral("disconnect")},
              {QStringLiteral("ok"), false},
              {QStringLiteral("error"), Errors()}});
}

int TZelctlReport::Finish(int Exit) {
    if (Json()) {
        QJsonObject end{{QStringLiteral("event"), QStringLiteral("end")}, {QStringLiteral("exit"), Exit}};
        if (!FRecord.Errors.isEmpty())
            end.insert(QStringLiteral("error"), Errors());
        Emit(end);
    }
    return Exit;
}

bool TZelctlReport::OpenJUnit() {
    const QString& path = FSession.Arguments().JUnitPath;
    if (path.isEmpty())
        return true;
    FJUnit = std::make_unique<TZelctlJUnit>(path);
    QString error;
    if (FJUnit->Open(error))
        return true;
    FJUnit.reset();
    return Fail(error);
}

bool TZelctlReport::CloseJUnit() {
    if (!FJUnit)
        return true;
    QString error;
    if (FJUnit->Close(double(FClock.elapsed()) / 1000.0, error))
        return true;
    return Fail(error);
}

void TZelctlReport::EndCase(const QString& Name, const QElapsedTimer& Clock) {
    if (!FJUnit)
        return;
    const auto outcome = FCase.CommandFailed ? TZelctlJUnit::CommandFailed
                         : FCase.CheckFailed ? TZelctlJUnit::CheckFailed
                                             : TZelctlJUnit::Passed;
    FJUnit->Add(Name, double(Clock.elapsed()) / 1000.0, outcome, FCase.Errors.join(QLatin1Char('\n')));
}

void TZelctlReport::Skipped(const QString& Name) {
    if (FJUnit)
        FJUnit->Add(Name, 0, TZelctlJUnit::Skipped);
}
