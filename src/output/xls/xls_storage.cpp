// No Qt header here: glib's headers and Qt's keyword macros do not mix.
#include "output/xls/xls_storage.h"

#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-stdio.h>
#include <gsf/gsf-output.h>

#include <cerrno>

namespace {

int32_t CodeOf(const GError* error) {
  if (!error) return kStgFail;
  // The stdio sink reports errno values; 0 means "not a regular file".
  switch (error->code) {
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

StorageResult Failure(StorageResult::Stage stage, const GError* error) {
  StorageResult r;
  r.stage = stage;
  r.code = CodeOf(error);
  if (error && error->message) r.detail = error->message;
  return r;
}

}  // namespace

StorageResult WriteWorkbookDocument(const std::string& localPath, const char* data, size_t size) {
  GError* error = nullptr;
  GsfOutput* sink = gsf_output_stdio_new(localPath.c_str(), &error);
  if (!sink) {
    StorageResult r = Failure(StorageResult::kCreateFile, error);
    if (error) g_error_free(error);
    return r;
  }
  GsfOutfile* root = gsf_outfile_msole_new(sink);
  if (!root) {
    // Mark the sink failed so that closing it discards the half-made file.
    gsf_output_set_error(sink, EIO, "compound document");
    gsf_output_close(sink);
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
    gsf_output_set_error(sink, EIO, "stream");
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
    if (!ok) {
      result = Failure(StorageResult::kWrite, gsf_output_error(stream));
      gsf_output_set_error(sink, EIO, "stream");
    }
    g_object_unref(stream);
  }
  // Closing the root writes the directory and renames the finished file
  // over the old one; a failed sink removes its temporary file instead.
  if (!gsf_output_close(GSF_OUTPUT(root)) && result.stage == StorageResult::kOk) {
    const GError* e = gsf_output_error(GSF_OUTPUT(root));
    if (!e) e = gsf_output_error(sink);
    result = Failure(StorageResult::kWrite, e);
  }
  g_object_unref(root);
  g_object_unref(sink);
  return result;
}
