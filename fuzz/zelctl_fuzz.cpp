// Feeds arbitrary text to zelctl's script reader and, split into words, to its command line, and
// checks what they accept: every command is one of the table's with arguments it takes, every
// repeat has its end, and nothing refused comes without a reason.
//
// Input: UTF-8 text; lines are script lines, and the same text split at NUL bytes and line breaks
// is a command line after "--tcp h".
#include "ZelctlArguments.h"
#include "ZelctlCommands.h"

#include <cstdlib>

namespace {
void CheckAccepted(const std::vector<TZelctlCommand>& Commands) {
    QString error;
    int depth = 0;
    for (const TZelctlCommand& c : Commands) {
        if (FindZelctlCommand(c.Name) == nullptr || !TZelctlArguments::CheckCommand(c, error))
            std::abort();
        depth += c.Name == QLatin1String("repeat") ? 1 : c.Name == QLatin1String("end") ? -1 : 0;
        if (depth < 0 || depth > TZelctlArguments::MaxRepeatDepth)
            std::abort();
    }
    if (depth != 0)
        std::abort();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(Data), qsizetype(Size));
    std::vector<TZelctlCommand> commands;
    QString error;
    if (TZelctlArguments::ParseScript(text, QStringLiteral("fuzz.txt"), commands, error))
        CheckAccepted(commands);
    else if (error.isEmpty())
        std::abort();

    QStringList words{QStringLiteral("--tcp"), QStringLiteral("h")};
    for (const QString& w : QString(text).replace(QChar(0), QLatin1Char('\n')).split(QLatin1Char('\n')))
        // No script files or settings folders from the fuzzer: those read and write the disk.
        if (!w.startsWith(QLatin1String("--script")) && !w.startsWith(QLatin1String("--settings")))
            words << w;
    TZelctlArguments args;
    if (args.Parse(words, error)) {
        CheckAccepted(args.Commands);
        if (args.Link.Transport < 0 && !args.Help && !args.Version)
            std::abort();
    } else if (error.isEmpty()) {
        std::abort();
    }
    return 0;
}
