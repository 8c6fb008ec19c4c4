#pragma once
// Files a user hands the programs (command logs, sensor recordings, scripts, settings): only
// regular files up to a size are read. A FIFO would block the open until a writer comes, and a
// device such as /dev/zero never ends; both are refused with a sentence the user can act on.
#include <QFile>
#include <QString>

namespace UserFile {

// The most a log or a recording may hold: far above a full log of a million packets.
constexpr qint64 MaxSize = qint64(1) << 30;
// Scripts are read whole into memory, and no real one comes near this.
constexpr qint64 MaxScriptSize = qint64(16) << 20;

enum TResult { Opened, Missing, NotRegular, TooLarge, Unreadable };

// Opens Path for reading without ever waiting for a writer. On anything but Opened, Error says
// why as a phrase ("not a regular file (a pipe, socket or device)"). File is opened on the
// descriptor: its fileName() stays empty.
TResult Open(QFile& File, const QString& Path, qint64 Limit, QString& Error);

// Open, then the whole content; the file may not grow past Limit while it is read.
TResult ReadAll(const QString& Path, qint64 Limit, QByteArray& Data, QString& Error);

// "1 GiB", "16 MiB", "4096 bytes".
QString SizeText(qint64 Bytes);

} // namespace UserFile
