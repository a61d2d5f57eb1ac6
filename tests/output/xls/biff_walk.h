#pragma once
// The record walker of the spreadsheet tests and fuzz targets: splits a BIFF
// stream into its records and substreams, and says what is wrong with it.
// No test framework here, so that a fuzz target can use it too.
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <vector>

struct BiffRecord {
  uint16_t id = 0;
  QByteArray data;
  int pos = 0;  // stream position of the record header
};

// The records one after the other; `error` (when given) gets the first
// fault: a record cut short or trailing bytes.
std::vector<BiffRecord> WalkBiffRecords(const QByteArray& stream, QString* error = nullptr);
// The substreams from BOF to EOF: [0] the globals, then one per sheet;
// `error` gets a record before the first BOF or a substream without its EOF.
std::vector<std::vector<BiffRecord>> SplitBiffSubstreams(const std::vector<BiffRecord>& records,
                                                         QString* error = nullptr);
// The number of substreams, with the faults the two above would report
// (the first in stream order), without making the records: for the fuzz
// target, which writes thousands of streams.
int CountBiffSubstreams(const QByteArray& stream, QString* error = nullptr);
