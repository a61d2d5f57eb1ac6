#include "platform/codepage.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr char kCp1251[] = "windows-1251";

// Opening a converter is costly, and so is running it per character. Every
// page here has one byte per character: each thread keeps, per page, its
// converters and a table of the characters whose byte gives them back,
// built with the converters themselves. A text with any other character
// goes through the converter as a whole, so the bytes stay the converter's.
struct Page {
  std::string codec;
  QStringEncoder enc;
  QStringDecoder dec;
  std::vector<int16_t> byteOf;  // by UTF-16 unit; -1: ask the converter
  char16_t charOf[256] = {};
  bool decodes = false;  // every byte decodes to one unit
};

void BuildTables(Page& p) {
  p.byteOf.assign(65536, -1);
  if (!p.enc.isValid() || !p.dec.isValid()) return;
  p.decodes = true;
  for (int b = 0; b < 256; ++b) {
    const char c = char(b);
    const QString u = p.dec(QByteArrayView(&c, 1));
    if (u.size() != 1) {
      p.decodes = false;
      continue;
    }
    p.charOf[b] = char16_t(u[0].unicode());
    const QByteArray back = p.enc(u);
    if (back.size() == 1 && back[0] == c) p.byteOf[u[0].unicode()] = int16_t(b);
  }
}

Page& PageFor(const char* codec) {
  thread_local std::vector<std::unique_ptr<Page>> pages;
  thread_local Page* last = nullptr;
  if (last && std::strcmp(last->codec.c_str(), codec) == 0) return *last;
  for (const std::unique_ptr<Page>& p : pages)
    if (std::strcmp(p->codec.c_str(), codec) == 0) return *(last = p.get());
  auto p = std::make_unique<Page>();
  p->codec = codec;
  p->enc = QStringEncoder(codec, QStringConverter::Flag::Stateless);
  p->dec = QStringDecoder(codec, QStringConverter::Flag::Stateless);
  BuildTables(*p);
  pages.push_back(std::move(p));
  return *(last = pages.back().get());
}

// Puts the bytes of `text` at `out` as far as `width` goes, straight from
// the table; false (nothing said about `out`) when a character has no byte
// of its own.
bool EncodeByTable(const Page& p, const QString& text, char* out, qsizetype width) {
  const char16_t* in = reinterpret_cast<const char16_t*>(text.utf16());
  const int16_t* byteOf = p.byteOf.data();
  const qsizetype shown = std::min(text.size(), width);
  qsizetype i = 0;
  for (; i < shown; ++i) {
    const int16_t b = byteOf[in[i]];
    if (b < 0) return false;
    out[i] = char(b);
  }
  // What does not fit is not written, but must have its bytes all the same.
  for (; i < text.size(); ++i)
    if (byteOf[in[i]] < 0) return false;
  return true;
}

}  // namespace

QByteArray EncodeInCodePage(const char* codec, const QString& text) {
  Page& p = PageFor(codec);
  if (!p.enc.isValid()) return text.toLatin1();
  QByteArray out(text.size(), Qt::Uninitialized);
  if (EncodeByTable(p, text, out.data(), out.size())) return out;
  return p.enc(text);
}

QString DecodeFromCodePage(const char* codec, const char* data, int size) {
  const QByteArray bytes = QByteArray::fromRawData(data, size);
  Page& p = PageFor(codec);
  if (!p.dec.isValid()) return QString::fromLatin1(bytes);
  if (!p.decodes) return p.dec(bytes);
  QString out(size, Qt::Uninitialized);
  char16_t* o = reinterpret_cast<char16_t*>(out.data());
  for (int i = 0; i < size; ++i) o[i] = p.charOf[uint8_t(data[i])];
  return out;
}

void EncodeIntoWidth(const char* codec, const QString& text, char* out, int width) {
  const Page& p = PageFor(codec);
  if (p.enc.isValid() && EncodeByTable(p, text, out, width)) {
    if (text.size() < width) std::memset(out + text.size(), ' ', size_t(width - text.size()));
    return;
  }
  const QByteArray b = EncodeInCodePage(codec, text).left(width);
  std::memcpy(out, b.constData(), size_t(b.size()));
  std::memset(out + b.size(), ' ', size_t(width - b.size()));
}

QByteArray ToCp1251(const QString& text) { return EncodeInCodePage(kCp1251, text); }

QString FromCp1251(const QByteArray& bytes) {
  return DecodeFromCodePage(kCp1251, bytes.constData(), int(bytes.size()));
}

QString FromCp1251(const char* data, int size) { return DecodeFromCodePage(kCp1251, data, size); }
