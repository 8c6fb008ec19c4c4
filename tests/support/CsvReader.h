#pragma once
// Reads CSV as RFC 4180 defines it (quoted fields, doubled quotes, CR LF or LF between records),
// independently of the code that writes it.
#include <QList>
#include <QString>
#include <QStringList>

// Records of Text; false when a quoted field is not closed or a quote stands inside a bare field.
bool ReadCsv(const QString& Text, QList<QStringList>& Records);
