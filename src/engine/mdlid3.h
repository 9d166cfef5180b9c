#pragma once

#include <QByteArray>
#include <QDate>
#include <QString>

// The three texts a recording's ID3v1 tag is built from, one byte per character.
struct ID3TagFields
{
    QByteArray artist;
    QByteArray title;
    QByteArray album;
};

// The 128 bytes of an ID3v1 tag: "TAG", title, artist, album (30 bytes each,
// cut or zero-padded), the year of day, the comment "Rec: Ombrex yyyy-mm-dd"
// and genre 255.
QByteArray BuildID3Tag(const ID3TagFields &fields, const QDate &day);

// Writes the tag for today's date at the end of the file, replacing a tag that
// is already there. Returns false without touching the file when all three
// fields are empty, and false on any error.
bool WriteID3Tag(const QString &path, const ID3TagFields &fields);
