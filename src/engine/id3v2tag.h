#pragma once

#include <QByteArray>
#include <QDate>
#include <QString>

// What a recording's ID3v2 tag says. Empty texts are left out.
struct Id3v2Fields
{
    QString title;
    QString artist;
    QString stationName;
    QByteArray stationAddress;
    QDate recorded;
    QString comment;
};

// The fields of a title file: the title's text split at its first " - " into
// artist and title (the whole text is the title without one).
Id3v2Fields titleTagFields(const QString &songTitle);

// Text from a station: UTF-8 when it is valid UTF-8, else Latin-1.
QString stationText(const QByteArray &bytes);

// The bytes of an ID3v2.4 tag with UTF-8 texts (TIT2, TPE1, TRSN, WORS, TDRC,
// COMM), to go at the start of a file; empty when no field is set.
QByteArray buildId3v2Tag(const Id3v2Fields &fields);

// Length of the ID3v2 tag (with its header, padding and footer) at the start
// of data, 0 when data does not start with one.
qsizetype id3v2TagLength(const QByteArray &data);
