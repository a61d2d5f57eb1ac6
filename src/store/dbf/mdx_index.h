#pragma once
// The production index (.mdx) of a table: named tags, each ordering the
// records by one field, ascending or descending. The tags are kept in
// memory and the whole file is rewritten (beside, then renamed over) after
// every change, so another dBase IV engine always finds complete B-trees.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

#include "store/dbf/dbf_table.h"

namespace dbf {

constexpr int kNumericKeyLength = 12;
constexpr int kMaxCharKeyLength = 100;

// The 12-byte decimal key of a numeric field's stored text (blanks: zero).
QByteArray NumericKey(const char* text, int length);
// Orders two numeric keys by their values: <0, 0, >0.
int CompareNumericKeys(const char* a, const char* b);

struct TagInfo {
  QByteArray name;        // as stored, upper case
  QByteArray expression;  // the key expression (a field name for our tags)
  bool descending = false;
  char keyType = 'C';
  int keyLength = 0;
  uint32_t rootPage = 0;
};

// Reads the tag table of an index file image. Throws Error when damaged.
std::vector<TagInfo> ReadMdxTags(const QByteArray& image);
// Walks the B-tree of tag `tag` (0-based) leaf by leaf and gives the record
// numbers in tag order. Throws Error when the tree is damaged.
std::vector<uint32_t> WalkMdxTag(const QByteArray& image, int tag);

class Index {
 public:
  explicit Index(Table* table);

  // The index file beside the table: same base name, ".mdx".
  static QString PathFor(const QString& tablePath);
  // PathFor of its table's file, kept while the table's file stays.
  const QString& FilePath() const;

  // Takes the tags of an existing index file, when the table's production
  // index flag says it has some, and fills them from the records; tags on
  // fields the table lacks are left out. A missing or damaged file gives
  // no tags; a folder, a FIFO or a device in its place throws Error.
  void Load();
  void Clear();

  int TagCount() const { return int(tags_.size()); }
  bool HasTag(const QString& name) const { return Find(name) >= 0; }
  QStringList TagNames() const;
  // Creates or replaces a tag on field `field`, filled from the records.
  void AddTag(const QString& name, int field, bool descending);
  // False when there is no such tag.
  bool DropTag(const QString& name);
  void RebuildAll();
  // Brings every tag up to date after record `recno` was written or appended.
  void Update(uint32_t recno);
  // Record numbers (deleted ones included) in the order of a tag; nullptr
  // when there is no such tag.
  const std::vector<uint32_t>* Order(const QString& name) const;

  // The file image of the current tags.
  QByteArray Image() const;
  // Writes the file (or deletes it when no tag is left) and sets the
  // table's production index flag accordingly.
  void Save();

 private:
  struct Tag {
    QString name;
    int field = 0;
    bool descending = false;
    char keyType = 'C';
    int keyLength = 0;
    std::vector<char> keys;  // keyLength bytes per record, by record number
    std::vector<uint32_t> order;
  };
  int Find(const QString& name) const;
  void KeyOf(const Tag& t, uint32_t recno, char* out) const;
  void Fill(Tag& t) const;
  bool Less(const Tag& t, uint32_t a, uint32_t b) const;

  Table* table_;
  std::vector<Tag> tags_;
  mutable QString tablePath_;  // what filePath_ was made for
  mutable QString filePath_;
};

}  // namespace dbf
