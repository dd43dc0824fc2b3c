#include "catalog/title_tag.h"

#include <id3tag.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "host/file.h"
#include "host/names.h"

namespace {

struct Id3Closer {
  void operator()(id3_file* file) const { id3_file_close(file); }
};
using UniqueId3File = std::unique_ptr<id3_file, Id3Closer>;

const id3_ucs4_t kEmptyText[1] = {0};

}  // namespace

bool GetTitleTag(std::u16string_view folder_path, std::u16string_view file_name,
                 std::u16string* title, int32_t* length, std::string* why,
                 const std::function<void(uint64_t size)>& opened) {
  *length = -1;
  std::u16string path(folder_path);
  path += u'\\';
  path += file_name;

  UniqueFd fd;
  uint64_t size = 0;
  if (!OpenRegularFile(HostPath(path), &fd, &size, why)) return false;
  if (opened) opened(size);
  UniqueId3File file(id3_file_fdopen(fd.get(), ID3_FILE_MODE_READONLY));
  if (!file) {
    *why = "the tag reader could not open it";
    return false;
  }
  fd.release();  // the tag reader closes it now

  const id3_tag* tag = id3_file_tag(file.get());
  if (tag == nullptr) return true;
  for (unsigned f = 0; f < tag->nframes; ++f) {
    const id3_frame* frame = tag->frames[f];
    if (strcmp(frame->id, "TIT2") != 0) continue;
    for (unsigned k = 0; k < frame->nfields; ++k) {
      const id3_field* field = &frame->fields[k];
      if (field->type != ID3_FIELD_TYPE_STRINGLIST) continue;
      const unsigned strings = id3_field_getnstrings(field);
      for (unsigned s = 0; s < strings; ++s) {
        const id3_ucs4_t* text = id3_field_getstrings(field, s);
        if (text == nullptr) text = kEmptyText;
        id3_utf16_t* utf16 = id3_ucs4_utf16duplicate(text);
        if (utf16 == nullptr) continue;
        title->clear();
        for (size_t n = 0; utf16[n] != 0 && n < static_cast<size_t>(kMaxTitleLength); ++n) {
          title->push_back(static_cast<char16_t>(utf16[n]));
        }
        *length = static_cast<int32_t>(title->size());
        free(utf16);
      }
    }
  }
  return true;
}
