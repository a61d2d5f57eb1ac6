#include "output/xls/biff_walk.h"

namespace {
// Through the raw bytes: the fuzz target walks every stream it writes.
inline uint16_t Le16(const QByteArray& d, int o) {
  const auto* p = reinterpret_cast<const uint8_t*>(d.constData()) + o;
  return uint16_t(p[0] | (p[1] << 8));
}
void Note(QString* error, const QString& text) {
  if (error && error->isEmpty()) *error = text;
}
}  // namespace

std::vector<BiffRecord> WalkBiffRecords(const QByteArray& s, QString* error) {
  std::vector<BiffRecord> out;
  // Counted first: a stream of many records must not grow the list over
  // and over.
  size_t count = 0;
  for (int p = 0; p + 4 <= s.size(); p += 4 + Le16(s, p + 2)) ++count;
  out.reserve(count);
  int p = 0;
  while (p + 4 <= s.size()) {
    BiffRecord r;
    r.pos = p;
    r.id = Le16(s, p);
    const int len = Le16(s, p + 2);
    r.data = s.mid(p + 4, len);
    if (r.data.size() != len) Note(error, QStringLiteral("record cut short at %1").arg(p));
    out.push_back(std::move(r));
    p += 4 + len;
  }
  if (p != s.size()) Note(error, QStringLiteral("trailing bytes in the stream"));
  return out;
}

std::vector<std::vector<BiffRecord>> SplitBiffSubstreams(const std::vector<BiffRecord>& records,
                                                         QString* error) {
  std::vector<std::vector<BiffRecord>> out;
  // Each substream's size first, so that each list is made once.
  std::vector<size_t> sizes;
  for (const BiffRecord& r : records) {
    if (r.id == 0x0809) sizes.push_back(0);
    if (!sizes.empty()) ++sizes.back();
  }
  out.reserve(sizes.size());
  for (const BiffRecord& r : records) {
    if (r.id == 0x0809) {
      out.emplace_back();
      out.back().reserve(sizes[out.size() - 1]);
    }
    if (out.empty()) {
      Note(error, QStringLiteral("record before the first BOF"));
      continue;
    }
    out.back().push_back(r);
  }
  for (size_t i = 0; i < out.size(); ++i)
    if (out[i].back().id != 0x000A) Note(error, QStringLiteral("substream %1 has no EOF").arg(i));
  return out;
}

int CountBiffSubstreams(const QByteArray& s, QString* error) {
  int count = 0;
  uint16_t last = 0;  // the id of the last record of the current substream
  int p = 0;
  while (p + 4 <= s.size()) {
    const uint16_t id = Le16(s, p);
    const int len = Le16(s, p + 2);
    if (p + 4 + len > s.size()) Note(error, QStringLiteral("record cut short at %1").arg(p));
    if (id == 0x0809) {
      if (count > 0 && last != 0x000A)
        Note(error, QStringLiteral("substream %1 has no EOF").arg(count - 1));
      ++count;
    } else if (count == 0) {
      Note(error, QStringLiteral("record before the first BOF"));
    }
    last = id;
    p += 4 + len;
  }
  if (p != s.size()) Note(error, QStringLiteral("trailing bytes in the stream"));
  if (count > 0 && last != 0x000A)
    Note(error, QStringLiteral("substream %1 has no EOF").arg(count - 1));
  return count;
}
