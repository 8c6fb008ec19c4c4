#pragma once
// Where the console and zelctl keep their settings files (uart.cfg, tcp.cfg, udp.cfg, can.cfg,
// settings.ini). Both programs share one folder, so a link set up in one is known to the other.
//   - a program in its build tree keeps them beside itself;
//   - so does a portable copy: a writable folder, not an installation's bin folder, that
//     already holds one of the files;
//   - every other program keeps them in $XDG_CONFIG_HOME/zel-console (~/.config/zel-console).
//     When that folder holds none of the files yet, those found beside the program or in the
//     folders of earlier versions are copied into it first, so nothing set up earlier is lost.
#include <QString>
#include <QStringList>

namespace SettingsFolder {

// The file names the programs keep.
const QStringList& FileNames();

// The folder for a program in ProgramFolder, with ConfigHome standing for $XDG_CONFIG_HOME
// (or ~/.config). Creates the folder and copies earlier settings into it where that applies.
QString Choose(const QString& ProgramFolder, const QString& ConfigHome);

// The user's configuration folder: $XDG_CONFIG_HOME when it is an absolute path, else ~/.config;
// empty without a home (HOME unset or empty), so that nothing is written at the root.
QString ConfigHome(const QString& XdgConfigHome, const QString& Home);

// Choose() for the running program and the user's configuration folder, worked out once.
QString ForThisProgram();

} // namespace SettingsFolder
