// Feeds arbitrary stored layout texts to the parser: it must refuse or
// accept without crashing or hanging, and whatever it accepts must write
// back to a text that reads back the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "views/layout/column_layout_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), int(size));
  try {
    const std::vector<ColumnLayout> columns = ParseColumnLayoutText(text);
    const QString written = ColumnLayoutText(columns);
    const std::vector<ColumnLayout> back = ParseColumnLayoutText(written);
    if (back.size() != columns.size()) std::abort();
    for (size_t i = 0; i < back.size(); ++i)
      if (!(back[i] == columns[i])) std::abort();
    if (ColumnLayoutText(back) != written) std::abort();
  } catch (const LayoutTextError&) {
  }
  return 0;
}
