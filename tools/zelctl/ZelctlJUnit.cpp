#include "ZelctlJUnit.h"

#include <QXmlStreamWriter>

namespace {
QString Seconds(double S) {
    return QString::number(S, 'f', 3);
}
} // namespace

bool TZelctlJUnit::Open(QString& Error) {
    if (FFile.open(QIODevice::WriteOnly))
        return true;
    Error = QStringLiteral("Cannot write the JUnit report %1: %2").arg(FFile.fileName(), FFile.errorString());
    return false;
}

void TZelctlJUnit::Add(const QString& Name, double Seconds, TOutcome Outcome, const QString& Message) {
    FCases.push_back({Name, Seconds, Outcome, Message});
}

bool TZelctlJUnit::Close(double Total, QString& Error) {
    int failures = 0;
    int errors = 0;
    int skipped = 0;
    for (const TCase& c : FCases) {
        failures += c.Outcome == CheckFailed;
        errors += c.Outcome == CommandFailed;
        skipped += c.Outcome == Skipped;
    }
    QXmlStreamWriter xml(&FFile);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("testsuites"));
    xml.writeStartElement(QStringLiteral("testsuite"));
    xml.writeAttribute(QStringLiteral("name"), QStringLiteral("zelctl"));
    xml.writeAttribute(QStringLiteral("tests"), QString::number(FCases.size()));
    xml.writeAttribute(QStringLiteral("failures"), QString::number(failures));
    xml.writeAttribute(QStringLiteral("errors"), QString::number(errors));
    xml.writeAttribute(QStringLiteral("skipped"), QString::number(skipped));
    xml.writeAttribute(QStringLiteral("time"), Seconds(Total));
    for (const TCase& c : FCases) {
        xml.writeStartElement(QStringLiteral("testcase"));
        xml.writeAttribute(QStringLiteral("classname"), QStringLiteral("zelctl"));
        xml.writeAttribute(QStringLiteral("name"), c.Name);
        xml.writeAttribute(QStringLiteral("time"), Seconds(c.Seconds));
        if (c.Outcome == Skipped) {
            xml.writeEmptyElement(QStringLiteral("skipped"));
        } else if (c.Outcome != Passed) {
            // A check that found the device otherwise is a failure; a command that could not be run is an
            // error.
            xml.writeStartElement(c.Outcome == CheckFailed ? QStringLiteral("failure")
                                                           : QStringLiteral("error"));
            xml.writeAttribute(QStringLiteral("message"), c.Message.section(QLatin1Char('\n'), 0, 0));
            xml.writeCharacters(c.Message);
            xml.writeEndElement();
        }
        xml.writeEndElement();
    }
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeEndDocument();
    if (!xml.hasError() && FFile.commit())
        return true;
    Error = QStringLiteral("Cannot write the JUnit report %1: %2").arg(FFile.fileName(), FFile.errorString());
    return false;
}
