#pragma once
// Helpers of the spreadsheet tests: a reader of the BIFF record stream (to
// check bytes) and an independent reader of the written file (xlrd and
// olefile through /usr/bin/python3).
#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <ostream>
#include <vector>

#include "output/xls/biff_walk.h"

// Readable QStrings in test failures.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }


std::vector<BiffRecord> ParseRecords(const QByteArray& stream);
// The substreams from BOF to EOF: [0] the globals, then one per sheet.
std::vector<std::vector<BiffRecord>> SplitSubstreams(const std::vector<BiffRecord>& records);
std::vector<BiffRecord> OfId(const std::vector<BiffRecord>& records, uint16_t id);
std::vector<uint16_t> Ids(const std::vector<BiffRecord>& records);

uint16_t U16(const QByteArray& d, int offset);
uint32_t U32(const QByteArray& d, int offset);
double F64(const QByteArray& d, int offset);
// The UTF-16LE characters d[offset..] of `count` characters.
QString Utf16At(const QByteArray& d, int offset, int count);

// Reads the file with xlrd (formatting included): a list of sheets with
// "name", "nrows", "ncols", "merged" ([[r0, r1, c0, c1], ...]) and "cells"
// ([[row, col, ctype, value], ...] for every non-empty cell, blanks included).
// Fails the current test (and returns an empty array) when xlrd refuses it.
QJsonArray ReadWithXlrd(const QString& path);
// The "Workbook" stream of the compound document, read with olefile.
QByteArray ReadWorkbookStream(const QString& path);
// The entries of the compound document's root, read with olefile.
QStringList StorageEntries(const QString& path);

// What a six-sample series sheet must hold, byte by byte: the globals with
// their record counts, the shared strings in cell order, and the sheet's
// row block. `strings` are the 16 texts in the expected order.
void ExpectSeriesStream(const QByteArray& stream, const QStringList& strings);
