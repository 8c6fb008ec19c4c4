#pragma once
// zelctl's command line: one link, options, and the commands to run (from the arguments and
// from script files, in the order given). Everything is checked before any link is opened.
#include "engine/LinkAddress.h"

#include <QPair>
#include <QString>
#include <QStringList>

#include <vector>

struct TZelctlCommand {
    QString Name; // as in the help: "move", "fast-stop", ...
    QStringList Args;
    QString Origin; // where it came from, for error messages ("script.txt:4")
};

struct TZelctlLink {
    int Transport = -1; // engine index: 0 serial, 1 TCP, 2 UDP, 3 CAN; -1: none given
    TLinkAddress Target;
    QString Description;
};

class TZelctlArguments {
public:
    static constexpr int SerialTransport = 0;
    static constexpr int TcpTransport = 1;
    static constexpr int UdpTransport = 2;
    static constexpr int CanTransport = 3;

    TZelctlLink Link;
    std::vector<TZelctlCommand> Commands;
    bool Help = false;
    bool Version = false;
    bool Json = false; // --json: one JSON object a line instead of the sentences
    QString JUnitPath; // --junit: the JUnit XML report; empty: none
    bool LogTraffic = false;
    QString LogCsvPath; // --log-csv: the traffic as the console's CSV record; empty: none
    bool Sensor = false;
    bool KeepGoing = false;
    int ConnectTimeoutMs = 5000;
    int ResultTimeoutMs = 60000;
    QString SettingsFolder; // where the transports keep their last parameters; empty: beside zelctl

    // Args without the program name. False with a message for the user on any mistake.
    bool Parse(const QStringList& Args, QString& Error);

    static bool ParseLink(const QString& Option, const QString& Value, TZelctlLink& Link, QString& Error);
    // One command per line; '#' starts a comment line. The text of "tag" and the payload of
    // "send" are the rest of their line.
    static bool ParseScript(const QString& Text, const QString& Origin, std::vector<TZelctlCommand>& Commands,
                            QString& Error);
    // Number and form of a command's arguments.
    static bool CheckCommand(const TZelctlCommand& Command, QString& Error);
    // Repeat blocks nest at most this deep.
    static constexpr int MaxRepeatDepth = 100;
    // Every repeat from From on has its end, and every end its repeat, at most MaxRepeatDepth deep.
    static bool CheckBlocks(const std::vector<TZelctlCommand>& Commands, size_t From, QString& Error);
    static bool IsCommandName(const QString& Word);

    static QString HelpText();
};
