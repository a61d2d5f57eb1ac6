// No Qt header here: glib's headers and Qt's keyword macros do not mix.
#include "output/xls/xls_storage.h"

#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-memory.h>
#include <gsf/gsf-output.h>

#include <sys/stat.h>

#include <cerrno>

#include "platform/file_ops.h"

namespace {

// 0 stands for "not a regular file".
int32_t CodeOfErrno(int err) {
  switch (err) {
    case 0:
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case EEXIST:
    case ETXTBSY:
      return kStgAccessDenied;
    case ENOENT:
    case ENOTDIR:
    case ENAMETOOLONG:
      return kStgPathNotFound;
    case ENOSPC:
    case EFBIG:
    case EDQUOT:
      return kStgMediumFull;
    case EIO:
      return kStgWriteFault;
    default:
      return kStgFail;
  }
}

int32_t CodeOf(const GError* error) { return error ? CodeOfErrno(error->code) : kStgFail; }

StorageResult Failure(StorageResult::Stage stage, const GError* error) {
  StorageResult r;
  r.stage = stage;
  r.code = CodeOf(error);
  if (error) r.err = error->code;
  if (error && error->message) r.detail = error->message;
  return r;
}

}  // namespace

StorageResult WriteWorkbookDocument(const std::string& localPath, const char* data, size_t size) {
  // A name that is taken by a folder or a device cannot become a workbook:
  // refused as creating the file, before anything is made.
  struct stat st;
  if (::stat(localPath.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
    StorageResult r;
    r.stage = StorageResult::kCreateFile;
    r.code = CodeOfErrno(0);
    r.err = EISDIR;
    return r;
  }
  // The document is made in memory and reaches the disk in one replacement
  // through the program's file operations.
  GsfOutput* sink = gsf_output_memory_new();
  GsfOutfile* root = gsf_outfile_msole_new(sink);
  if (!root) {
    g_object_unref(sink);
    StorageResult r;
    r.stage = StorageResult::kCreateFile;
    r.code = kStgFail;
    return r;
  }
  StorageResult result;
  GsfOutput* stream = gsf_outfile_new_child(root, "Workbook", FALSE);
  if (!stream) {
    result.stage = StorageResult::kCreateStream;
    result.code = kStgFail;
  } else {
    const guint8* p = reinterpret_cast<const guint8*>(data);
    size_t left = size;
    bool ok = true;
    while (ok && left > 0) {
      const size_t n = left > (1u << 20) ? (1u << 20) : left;
      ok = gsf_output_write(stream, n, p);
      p += n;
      left -= n;
    }
    if (!gsf_output_close(stream)) ok = false;
    if (!ok) result = Failure(StorageResult::kWrite, gsf_output_error(stream));
    g_object_unref(stream);
  }
  // Closing the root writes the directory into the sink.
  if (!gsf_output_close(GSF_OUTPUT(root)) && result.stage == StorageResult::kOk) {
    const GError* e = gsf_output_error(GSF_OUTPUT(root));
    if (!e) e = gsf_output_error(sink);
    result = Failure(StorageResult::kWrite, e);
  }
  if (result.stage == StorageResult::kOk) {
    const guint8* bytes = gsf_output_memory_get_bytes(GSF_OUTPUT_MEMORY(sink));
    int stage = 0;
    const int err = ReplaceFileContents(localPath, reinterpret_cast<const char*>(bytes),
                                        size_t(gsf_output_size(sink)), true, &stage);
    if (err != 0) {
      result.stage = stage == 0 ? StorageResult::kCreateFile : StorageResult::kWrite;
      result.code = CodeOfErrno(err);
      result.err = err;
      result.detail = g_strerror(err);
    }
  }
  g_object_unref(root);
  g_object_unref(sink);
  return result;
}
