#pragma once

#include <QByteArray>
#include <QDate>
#include <QString>

// The three texts a recording's ID3v1 tag is built from, one byte per character.
struct Id3v1Fields
{
    QByteArray artist;
    QByteArray title;
    QByteArray album;
};

// The 128 bytes of an ID3v1 tag: "TAG", title, artist, album (30 bytes each,
// cut or zero-padded), the year of day, the comment "Rec: Ombrex yyyy-mm-dd"
// and genre 255.
QByteArray buildId3v1Tag(const Id3v1Fields &fields, const QDate &day);

// The comment both tags of a recording carry: "Rec: Ombrex yyyy-mm-dd".
QByteArray recordingComment(const QDate &day);

// True for 128 bytes that are a tag this program wrote ("TAG" and its comment).
bool isOwnId3v1Tag(const QByteArray &bytes);

// Writes the tag for that day at the end of the file, replacing a tag that is
// already there. Returns false without touching the file when all three fields
// are empty, and false on any error.
bool writeId3v1Tag(const QString &path, const Id3v1Fields &fields, const QDate &day);
