#pragma once
// zelctl's commands, one row each: what the command line and scripts accept, how it is checked,
// which part of the runner runs it and what --help says. Adding a command is adding a row.
#include <QString>
#include <QStringList>

#include <cstdint>
#include <span>

struct TZelctlCommand;
class TZelctlDeviceCommands;

struct TZelctlCommandRow {
    enum TKind {
        AnyDevice, // gripper and sensor
        Gripper,   // needs a gripper
        Control,   // repeat/end: shape the run, the runner itself handles them
    };
    // How a script line is split into arguments.
    enum TScriptArgs {
        Words,      // at white space
        RestOfLine, // one argument, the rest of the line as written
        IdThenRest, // the first word, then the rest of the line as one argument
    };
    using THandler = bool (TZelctlDeviceCommands::*)(const TZelctlCommand&);

    const char* Name;
    const char* Form; // the arguments as --help and the usage messages show them
    int MinArgs;
    int MaxArgs;
    TKind Kind;
    TScriptArgs ScriptArgs;
    // Words starting with "--" that belong to the command rather than to zelctl, space-separated.
    const char* Options;
    // Form of the arguments beyond their number; nullptr: any. Error without the place.
    bool (*Check)(const QStringList& Args, QString& Error);
    THandler Run; // nullptr for the control rows
    const char* Help;
    // Added to the message when there are too many arguments; nullptr: the form is shown.
    const char* TooMany = nullptr;
    // The required arguments are taken even when they are commands' names ("expect force 10..30",
    // "expect flag fast-stop on").
    bool RequiredAnyWord = false;

    // "move POS SPEED"
    QString Usage() const;
    bool TakesOption(const QString& Word) const;
};

std::span<const TZelctlCommandRow> ZelctlCommandTable();
const TZelctlCommandRow* FindZelctlCommand(const QString& Name);
// The "Commands:" block of --help.
QString ZelctlCommandHelp();

// What an expect or wait-for line asks for.
struct TZelctlExpectation {
    enum TQuantity { Position, Force, State, Flag };
    TQuantity Quantity = Position;
    double Low = 0; // position, force: accepted range
    double High = 0;
    QString Text; // the expectation in words: "20 +/- 0.5 mm", "Holding", "Fast stop off"
    int GraspingState = 0;
    uint32_t Mask = 0; // flag bit
    bool On = false;
    int TimeoutMs = 10000; // wait-for

    // Value as the device reports it: position, force, grasping state or system state.
    bool Holds(double Value) const;
    // Args of expect (WaitFor false) or wait-for; false with a message.
    static bool Parse(const QStringList& Args, bool WaitFor, TZelctlExpectation& Out, QString& Error);
    // Quantity name as written: "position", ...
    QString QuantityName() const;
};
// A positive number of seconds, at most a day, in milliseconds.
bool ZelctlSeconds(const QString& Text, int& Ms);
// Device tag text: at most 64 characters of code page 1252.
bool CheckZelctlTag(const QString& Tag, QString& Error);
