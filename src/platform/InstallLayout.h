#pragma once
// Where a program sits: in its build tree, or installed under a prefix (PREFIX/bin with its
// documentation in PREFIX/share/doc/zel-console).
#include <QString>

namespace InstallLayout {

// The top of the build tree that holds ProgramFolder (the folder with CMakeCache.txt, at most a
// few levels up); empty when the program does not run from a build tree.
QString BuildTreeTop(const QString& ProgramFolder);

// The README for a program in ProgramFolder: the installed one (PREFIX/share/doc/zel-console), or
// the project's own beside the build tree the program runs from; empty when neither exists.
QString Readme(const QString& ProgramFolder);

} // namespace InstallLayout
