#include "CsvReader.h"

bool ReadCsv(const QString& Text, QList<QStringList>& Records) {
    Records.clear();
    QStringList record;
    QString field;
    bool quoted = false;    // inside a quoted field
    bool wasQuoted = false; // the current field was quoted and has closed
    qsizetype i = 0;
    auto endField = [&] {
        record << field;
        field.clear();
        wasQuoted = false;
    };
    while (i < Text.size()) {
        const QChar c = Text[i];
        if (quoted) {
            if (c == u'"') {
                if (i + 1 < Text.size() && Text[i + 1] == u'"') {
                    field += u'"';
                    i += 2;
                    continue;
                }
                quoted = false;
                wasQuoted = true;
            } else {
                field += c;
            }
            ++i;
            continue;
        }
        if (c == u',') {
            endField();
        } else if (c == u'\r' || c == u'\n') {
            if (c == u'\r' && i + 1 < Text.size() && Text[i + 1] == u'\n')
                ++i;
            endField();
            Records << record;
            record.clear();
        } else if (c == u'"') {
            if (!field.isEmpty() || wasQuoted)
                return false;
            quoted = true;
        } else {
            if (wasQuoted)
                return false;
            field += c;
        }
        ++i;
    }
    if (quoted)
        return false;
    if (!field.isEmpty() || !record.isEmpty() || wasQuoted) {
        endField();
        Records << record;
    }
    return true;
}
