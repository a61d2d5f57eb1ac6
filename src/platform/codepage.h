#pragma once
// 8-bit texts of the table file and of the instruments are Windows-1251;
// a table made elsewhere may name another single-byte code page.
#include <QByteArray>
#include <QString>

QByteArray ToCp1251(const QString& text);
QString FromCp1251(const QByteArray& bytes);
QString FromCp1251(const char* data, int size);

// Texts in the single-byte code page a converter name gives ("windows-1251",
// "IBM866", ...). The bytes are always the converter's, also for characters
// the page does not have; a name Qt does not know leaves Latin-1.
QByteArray EncodeInCodePage(const char* codec, const QString& text);
QString DecodeFromCodePage(const char* codec, const char* data, int size);
// Writes `text` into the `width` bytes at `out`: cut after `width` bytes,
// blank-padded.
void EncodeIntoWidth(const char* codec, const QString& text, char* out, int width);
