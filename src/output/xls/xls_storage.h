#pragma once
// The compound document of an ".xls" file: a root storage holding the one
// stream "Workbook". Kept apart so that the rest of the writer never sees the
// structured-storage library.
#include <cstdint>
#include <string>

struct StorageResult {
  enum Stage { kOk, kCreateFile, kCreateStream, kWrite };
  Stage stage = kOk;
  int32_t code = 0;    // result code in the structured-storage style (negative)
  int err = 0;         // the system's error number (0: none known)
  std::string detail;  // the system's text, for the operator
};

// Result codes of the structured-storage style for the failures we can meet.
constexpr int32_t kStgAccessDenied = int32_t(0x80030005u);
// The team's agreed code for a missing folder (-2147287038).
constexpr int32_t kStgPathNotFound = int32_t(0x80030002u);
constexpr int32_t kStgMediumFull = int32_t(0x80030070u);
constexpr int32_t kStgWriteFault = int32_t(0x8003001Du);
constexpr int32_t kStgFail = int32_t(0x80004005u);

// Creates (or replaces) the file `localPath` as a compound document with the
// stream "Workbook" holding `size` bytes. The file is written beside the old
// one and replaces it only when complete, so a failure leaves the old file.
StorageResult WriteWorkbookDocument(const std::string& localPath, const char* data, size_t size);
