// Feeds arbitrary bytes to the reader of saved command logs, and checks what it accepts: every
// record holds as many payload bytes as its length says, and the records written back as a log
// read again as the same packets at the same times.
//
// Input: the bytes of a CSV file.
#include "cmdtext/CommLogText.h"

#include <QBuffer>

#include <cstdlib>

namespace {
bool Same(const std::vector<TLogRecord>& A, const std::vector<TLogRecord>& B) {
    if (A.size() != B.size())
        return false;
    for (size_t i = 0; i < A.size(); ++i)
        if (A[i].TimeMs != B[i].TimeMs || A[i].Copy.CommandID != B[i].Copy.CommandID ||
            A[i].Copy.Payload != B[i].Copy.Payload)
            return false;
    return true;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    QByteArray bytes(reinterpret_cast<const char*>(Data), qsizetype(Size));
    QBuffer in(&bytes);
    in.open(QIODevice::ReadOnly);
    std::vector<TLogRecord> records;
    std::set<std::string> names;
    QString error;
    if (!ParseLogCsv(in, records, error, &names)) {
        if (error.isEmpty() || !records.empty())
            std::abort();
        return 0;
    }
    for (const TLogRecord& r : records)
        if (r.Copy.Payload.size() != size_t(r.Copy.Length) || r.Copy.Length > MaxPayloadLength)
            std::abort();

    QString text = LogCsvHeader() + QStringLiteral("\r\n");
    for (const TLogRecord& r : records)
        text += LogCsvRow(r.Copy, r.TimeMs, TLogOptions()) + QStringLiteral("\r\n");
    QByteArray again = text.toUtf8();
    QBuffer back(&again);
    back.open(QIODevice::ReadOnly);
    std::vector<TLogRecord> reread;
    if (!ParseLogCsv(back, reread, error) || !Same(records, reread))
        std::abort();
    return 0;
}
