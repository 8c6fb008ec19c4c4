#pragma once
// The text form of a device link, tcp://HOST[:PORT]. Kept to one small unit so that the device
// library's own link parser can replace it whole.
#include <QString>

struct TLinkAddress {
    QString Host;
    int Port = 1000;
};

bool ParseLinkText(const QString& Text, TLinkAddress& Address, QString& Error);
bool CheckLinkText(const QString& Text, QString& Error);
