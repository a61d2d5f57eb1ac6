#pragma once
// 8-bit texts of the table file and of the instruments are Windows-1251.
#include <QByteArray>
#include <QString>

QByteArray ToCp1251(const QString& text);
QString FromCp1251(const QByteArray& bytes);
QString FromCp1251(const char* data, int size);
