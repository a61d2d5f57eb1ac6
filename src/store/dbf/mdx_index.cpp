#include "store/dbf/mdx_index.h"
#include "platform/codepage.h"
#include "platform/file_ops.h"
#include "platform/operator_error.h"
#include "platform/write_target.h"
#include "store/dbf/le_bytes.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <fcntl.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <set>

namespace dbf {

namespace {

constexpr int kPage = 512;
constexpr int kPagesPerBlock = 2;
constexpr int kBlock = kPage * kPagesPerBlock;
constexpr int kFixedPages = 4;  // file header and tag table
constexpr int kSlots = 48;
constexpr int kSlotSize = 32;
constexpr int kMaxTags = kSlots - 1;
constexpr int kMaxDepth = 64;


void StampDate(char* p) {
  const QDate today = QDate::currentDate();
  p[0] = char(today.year() - 1900);
  p[1] = char(today.month());
  p[2] = char(today.day());
}

int ItemLength(int keyLength) { return (keyLength + 4 + 3) / 4 * 4; }
int MaxKeys(int keyLength) { return (kBlock - 12) / ItemLength(keyLength); }

[[noreturn]] void Damaged(const QString& why) {
  throw Error(QStringLiteral("Индексный файл повреждён: %1").arg(why));
}

// -1 negative, 0 zero, 1 positive.
int SignOf(const char* k) {
  bool zero = true;
  for (int i = 2; i < kNumericKeyLength; ++i)
    if (k[i] != 0) zero = false;
  if (zero) return 0;
  return (uint8_t(k[1]) & 0x80) ? -1 : 1;
}

}  // namespace

QByteArray NumericKey(const char* text, int length) {
  QByteArray key(kNumericKeyLength, 0);
  key[0] = 0x34;
  key[1] = 0x01;
  int b = 0, e = length;
  while (b < e && text[b] == ' ') ++b;
  while (e > b && text[e - 1] == ' ') --e;
  bool negative = false;
  if (b < e && (text[b] == '-' || text[b] == '+')) {
    negative = text[b] == '-';
    ++b;
  }
  // Digits before and after the point, exactly as stored.
  QByteArray whole, fraction;
  bool point = false;
  for (int i = b; i < e; ++i) {
    const char c = text[i];
    if (c == '.' && !point) {
      point = true;
    } else if (c >= '0' && c <= '9') {
      (point ? fraction : whole) += c;
    } else {
      return key;  // unreadable contents count as zero, like blanks
    }
  }
  int lead = 0;
  while (lead < whole.size() && whole[lead] == '0') ++lead;
  whole = whole.mid(lead);
  int exponent;
  QByteArray digits;
  if (!whole.isEmpty()) {
    exponent = int(whole.size());
    digits = whole + fraction;
  } else {
    int zeros = 0;
    while (zeros < fraction.size() && fraction[zeros] == '0') ++zeros;
    exponent = -zeros;
    digits = fraction.mid(zeros);
  }
  while (!digits.isEmpty() && digits.endsWith('0')) digits.chop(1);
  if (digits.isEmpty()) return key;
  if (digits.size() > 20) digits.truncate(20);
  const int count = (int(digits.size()) + 1) / 2 * 2;
  key[0] = char(0x34 + exponent);
  key[1] = char((count << 2) | 0x01 | (negative ? 0x80 : 0));
  for (int i = 0; i < digits.size(); ++i) {
    const int nibble = digits[i] - '0';
    key[2 + i / 2] = char(uint8_t(key[2 + i / 2]) | (i % 2 ? nibble : nibble << 4));
  }
  return key;
}

int CompareNumericKeys(const char* a, const char* b) {
  const int sa = SignOf(a), sb = SignOf(b);
  if (sa != sb) return sa < sb ? -1 : 1;
  if (sa == 0) return 0;
  int c = int(uint8_t(a[0])) - int(uint8_t(b[0]));
  if (c == 0) c = std::memcmp(a + 2, b + 2, kNumericKeyLength - 2);
  return sa > 0 ? c : -c;
}

namespace {

// The pages of an index file as the readers ask for them: nullptr when the
// file does not hold them all.
using PageSource = std::function<const char*(uint32_t first, int pages)>;

PageSource ImagePages(const QByteArray& image) {
  return [&image](uint32_t first, int pages) -> const char* {
    if (qint64(first) * kPage + qint64(pages) * kPage > image.size()) return nullptr;
    return image.constData() + qint64(first) * kPage;
  };
}

std::vector<TagInfo> ReadTags(const PageSource& pages) {
  const char* h = pages(0, kFixedPages);
  if (!h) Damaged(QStringLiteral("файл слишком короткий"));
  const int tags = int(GetU16(h + 28));
  if (tags > kMaxTags) Damaged(QStringLiteral("неверное число тегов"));
  if (GetU16(h + 26) != kSlotSize) Damaged(QStringLiteral("неверная таблица тегов"));
  std::vector<TagInfo> out;
  for (int k = 1; k <= tags; ++k) {
    const char* slot = h + kPage + kSlotSize * k;
    const uint32_t page = GetU32(slot);
    const char* th = page < kFixedPages ? nullptr : pages(page, 1);
    if (!th) Damaged(QStringLiteral("неверная ссылка на тег"));
    TagInfo t;
    int n = 0;
    while (n < 11 && slot[4 + n] != 0) ++n;
    t.name = QByteArray(slot + 4, n);
    t.rootPage = GetU32(th);
    t.descending = (uint8_t(th[8]) & 0x08) != 0;
    t.keyType = th[9];
    t.keyLength = int(GetU16(th + 12));
    if (t.keyLength < 1 || ItemLength(t.keyLength) > kBlock - 12)
      Damaged(QStringLiteral("неверная длина ключа"));
    n = 0;
    while (n < 221 && th[24 + n] != 0) ++n;
    t.expression = QByteArray(th + 24, n).trimmed();
    out.push_back(t);
  }
  return out;
}

}  // namespace

std::vector<TagInfo> ReadMdxTags(const QByteArray& image) { return ReadTags(ImagePages(image)); }

std::vector<uint32_t> WalkMdxTag(const QByteArray& image, int tag) {
  const std::vector<TagInfo> tags = ReadMdxTags(image);
  if (tag < 0 || tag >= int(tags.size())) Damaged(QStringLiteral("нет такого тега"));
  const TagInfo& t = tags[size_t(tag)];
  const int item = ItemLength(t.keyLength);
  const int maxKeys = MaxKeys(t.keyLength);
  std::vector<uint32_t> out;
  std::set<uint32_t> seen;
  // Depth-first, children left to right; the trailing pointer is the
  // rightmost child of an inner node.
  struct Frame {
    uint32_t page;
    int depth;
  };
  std::vector<Frame> stack{{t.rootPage, 0}};
  while (!stack.empty()) {
    const Frame f = stack.back();
    stack.pop_back();
    if (f.depth > kMaxDepth || !seen.insert(f.page).second)
      Damaged(QStringLiteral("цикл в дереве"));
    if (f.page < kFixedPages || qint64(f.page) * kPage + kBlock > image.size())
      Damaged(QStringLiteral("ссылка за концом файла"));
    const char* node = image.constData() + qint64(f.page) * kPage;
    const uint32_t n = GetU32(node);
    if (n > uint32_t(maxKeys)) Damaged(QStringLiteral("неверное число ключей"));
    const uint32_t trailing = GetU32(node + 8 + n * item);
    if (trailing == 0) {
      for (uint32_t i = 0; i < n; ++i) out.push_back(GetU32(node + 8 + i * item));
    } else {
      stack.push_back({trailing, f.depth + 1});
      for (int i = int(n) - 1; i >= 0; --i)
        stack.push_back({GetU32(node + 8 + i * item), f.depth + 1});
    }
  }
  return out;
}

Index::Index(Table* table) : table_(table) {}

QString Index::PathFor(const QString& tablePath) {
  const QFileInfo fi(tablePath);
  return fi.dir().filePath(fi.completeBaseName() + QStringLiteral(".mdx"));
}

const QString& Index::FilePath() const {
  if (filePath_.isNull() || tablePath_ != table_->Path()) {
    tablePath_ = table_->Path();
    filePath_ = PathFor(tablePath_);
  }
  return filePath_;
}

void Index::Clear() { tags_.clear(); }

int Index::Find(const QString& name) const {
  for (size_t i = 0; i < tags_.size(); ++i)
    if (tags_[i].name.compare(name, Qt::CaseInsensitive) == 0) return int(i);
  return -1;
}

QStringList Index::TagNames() const {
  QStringList out;
  for (const Tag& t : tags_) out << t.name;
  return out;
}

void Index::KeyOf(const Tag& t, uint32_t recno, char* out) const {
  const FieldDef& f = table_->Fields()[size_t(t.field)];
  const char* p = table_->Record(recno) + f.offset;
  if (t.keyType == 'N') {
    const QByteArray k = NumericKey(p, f.length);
    std::memcpy(out, k.constData(), kNumericKeyLength);
  } else {
    std::memcpy(out, p, size_t(t.keyLength));
  }
}

bool Index::Less(const Tag& t, uint32_t a, uint32_t b) const {
  const char* ka = t.keys.data() + size_t(a - 1) * size_t(t.keyLength);
  const char* kb = t.keys.data() + size_t(b - 1) * size_t(t.keyLength);
  int c = t.keyType == 'N' ? CompareNumericKeys(ka, kb) : std::memcmp(ka, kb, size_t(t.keyLength));
  if (t.descending) c = -c;
  if (c != 0) return c < 0;
  return a < b;  // equal keys in record order, in descending tags too
}

void Index::Fill(Tag& t) const {
  const uint32_t n = table_->RecordCount();
  t.keys.assign(size_t(n) * size_t(t.keyLength), 0);
  t.order.resize(n);
  for (uint32_t r = 1; r <= n; ++r) {
    KeyOf(t, r, t.keys.data() + size_t(r - 1) * size_t(t.keyLength));
    t.order[r - 1] = r;
  }
  std::stable_sort(t.order.begin(), t.order.end(),
                   [&](uint32_t a, uint32_t b) { return Less(t, a, b); });
}

void Index::AddTag(const QString& name, int field, bool descending) {
  const FieldDef& f = table_->Fields()[size_t(field)];
  Tag t;
  t.name = name;
  t.field = field;
  t.descending = descending;
  t.keyType = f.type == 'N' || f.type == 'F' ? 'N' : 'C';
  t.keyLength = t.keyType == 'N' ? kNumericKeyLength : std::min(f.length, kMaxCharKeyLength);
  Fill(t);
  const int at = Find(name);
  if (at >= 0) {
    tags_.erase(tags_.begin() + at);
  } else if (int(tags_.size()) >= kMaxTags) {
    throw Error(QStringLiteral("Слишком много тегов в индексном файле"));
  }
  tags_.push_back(std::move(t));
}

bool Index::DropTag(const QString& name) {
  const int at = Find(name);
  if (at < 0) return false;
  tags_.erase(tags_.begin() + at);
  return true;
}

void Index::RebuildAll() {
  for (Tag& t : tags_) Fill(t);
}

void Index::Update(uint32_t recno) {
  for (Tag& t : tags_) {
    const size_t known = t.keys.size() / size_t(t.keyLength);
    if (recno > known) {
      t.keys.resize(size_t(recno) * size_t(t.keyLength), 0);
    } else {
      auto less = [&](uint32_t a, uint32_t b) { return Less(t, a, b); };
      auto it = std::lower_bound(t.order.begin(), t.order.end(), recno, less);
      if (it != t.order.end() && *it == recno) t.order.erase(it);
    }
    KeyOf(t, recno, t.keys.data() + size_t(recno - 1) * size_t(t.keyLength));
    auto less = [&](uint32_t a, uint32_t b) { return Less(t, a, b); };
    t.order.insert(std::lower_bound(t.order.begin(), t.order.end(), recno, less), recno);
  }
}

const std::vector<uint32_t>* Index::Order(const QString& name) const {
  const int at = Find(name);
  return at < 0 ? nullptr : &tags_[size_t(at)].order;
}

void Index::Load() {
  tags_.clear();
  const QString& path = FilePath();
  const int fd = OpenRegularFile(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    // Never read, replaced or removed: it is not ours.
    if (errno == EISDIR || errno == ENODEV)
      throw Error(QStringLiteral("Индексный файл %1 не прочитан: %2")
                      .arg(QDir::toNativeSeparators(path), FileErrorText(errno)));
    return;  // missing or unreadable: rebuilt by the next tag operation
  }
  // Only the pages the tags are described on; the trees are rebuilt from
  // the records, so the rest of the file, however large, is never read.
  std::vector<std::unique_ptr<char[]>> read;
  const PageSource filePages = [&](uint32_t first, int pages) -> const char* {
    const size_t size = size_t(pages) * kPage;
    std::unique_ptr<char[]> buffer(new char[size]);
    if (ReadAllAt(fd, off_t(qint64(first) * kPage), buffer.get(), size) != ssize_t(size))
      return nullptr;
    read.push_back(std::move(buffer));
    return read.back().get();
  };
  std::vector<TagInfo> infos;
  try {
    if (table_->IndexFlag()) infos = ReadTags(filePages);
  } catch (const Error&) {
    // A damaged index is rebuilt by the next tag operation.
  }
  Files().Close(fd);
  for (const TagInfo& info : infos) {
    const int field = table_->FieldIndex(info.expression.toUpper());
    if (field < 0) continue;
    const char type = table_->Fields()[size_t(field)].type;
    if (type != 'C' && type != 'N' && type != 'F') continue;
    if (HasTag(QString::fromLatin1(info.name))) continue;
    AddTag(QString::fromLatin1(info.name), field, info.descending);
  }
}

QByteArray Index::Image() const {
  QByteArray file(kFixedPages * kPage, 0);
  char* h = file.data();
  h[0] = 0x02;
  StampDate(h + 1);
  const QByteArray base =
      EncodeInCodePage(CodecForLanguage(table_->Language()),
                       QFileInfo(table_->Path()).completeBaseName())
          .left(15);
  std::memcpy(h + 4, base.constData(), size_t(base.size()));
  PutU16(h + 20, kPagesPerBlock);
  PutU16(h + 22, kBlock);
  h[24] = 0x01;
  h[25] = char(kSlots);
  PutU16(h + 26, kSlotSize);
  PutU16(h + 28, uint32_t(tags_.size()));
  h[31] = char(table_->Language());
  StampDate(h + 44);
  h[kPage + 17] = 0x01;

  auto newBlock = [&file]() {
    const uint32_t page = uint32_t(file.size() / kPage);
    file.append(QByteArray(kBlock, 0));
    return page;
  };
  for (size_t k = 0; k < tags_.size(); ++k) {
    const Tag& t = tags_[k];
    const int item = ItemLength(t.keyLength);
    const int maxKeys = MaxKeys(t.keyLength);
    const uint32_t headerPage = newBlock();
    char* slot = file.data() + kPage + kSlotSize * int(k + 1);
    PutU32(slot, headerPage);
    const QByteArray upper = t.name.toUpper().toLatin1().left(10);
    std::memcpy(slot + 4, upper.constData(), size_t(upper.size()));
    slot[15] = 0x10;
    slot[19] = 0x02;
    slot[20] = t.keyType;

    // Builds the tree bottom up; each level spreads its entries evenly.
    struct Child {
      uint32_t page;
      uint32_t lastRecord;
    };
    auto keyOf = [&](uint32_t recno) {
      return t.keys.data() + size_t(recno - 1) * size_t(t.keyLength);
    };
    std::vector<Child> level;
    const size_t n = t.order.size();
    const size_t leaves = n == 0 ? 1 : (n + size_t(maxKeys) - 1) / size_t(maxKeys);
    for (size_t i = 0, from = 0; i < leaves; ++i) {
      const size_t to = n * (i + 1) / leaves;
      const uint32_t page = newBlock();
      char* node = file.data() + qint64(page) * kPage;
      PutU32(node, uint32_t(to - from));
      for (size_t j = from; j < to; ++j) {
        char* e = node + 8 + (j - from) * size_t(item);
        PutU32(e, t.order[j]);
        std::memcpy(e + 4, keyOf(t.order[j]), size_t(t.keyLength));
      }
      level.push_back({page, to > from ? t.order[to - 1] : 0});
      from = to;
    }
    while (level.size() > 1) {
      std::vector<Child> up;
      const size_t c = level.size();
      const size_t nodes = (c + size_t(maxKeys)) / size_t(maxKeys + 1);
      for (size_t i = 0, from = 0; i < nodes; ++i) {
        const size_t to = c * (i + 1) / nodes;
        const uint32_t page = newBlock();
        char* node = file.data() + qint64(page) * kPage;
        const size_t keys = to - from - 1;
        PutU32(node, uint32_t(keys));
        for (size_t j = 0; j < keys; ++j) {
          char* e = node + 8 + j * size_t(item);
          PutU32(e, level[from + j].page);
          std::memcpy(e + 4, keyOf(level[from + j].lastRecord), size_t(t.keyLength));
        }
        PutU32(node + 8 + keys * size_t(item), level[to - 1].page);
        up.push_back({page, level[to - 1].lastRecord});
        from = to;
      }
      level = std::move(up);
    }
    const uint32_t pages = uint32_t(file.size() / kPage) - headerPage;
    char* th = file.data() + qint64(headerPage) * kPage;
    PutU32(th, level.front().page);
    PutU32(th + 4, pages);
    th[8] = char((t.keyType == 'C' ? 0x10 : 0x00) | (t.descending ? 0x08 : 0x00));
    th[9] = t.keyType;
    PutU16(th + 12, uint32_t(t.keyLength));
    PutU16(th + 14, uint32_t(maxKeys));
    PutU16(th + 18, uint32_t(item));
    th[20] = 0x02;
    const QByteArray expr = table_->Fields()[size_t(t.field)].name;
    std::memcpy(th + 24, expr.constData(), size_t(expr.size()));
    th[246] = 0x01;
  }
  PutU32(file.data() + 32, uint32_t(file.size() / kPage));
  return file;
}

void Index::Save() {
  const QString& path = FilePath();
  if (tags_.empty()) {
    if (!RemoveIfPresent(QFile::encodeName(path).toStdString()))
      throw Error(QStringLiteral("Не удалось удалить индексный файл %1").arg(path));
    table_->SetIndexFlag(false);
    return;
  }
  // The index is rebuilt from the records whenever it is missing or
  // damaged, so it need not wait for the disk.
  if (const int err = ReplaceFile(path, Image(), false))
    throw Error(QStringLiteral("Не удалось записать файл %1: %2").arg(path, FileErrorText(err)));
  table_->SetIndexFlag(true);
}

}  // namespace dbf
