#include "catalog/title_tag.h"

#include <id3tag.h>

#include <cstdlib>
#include <cstring>

#include "catalog/tag_search.h"
#include "host/file.h"
#include "host/names.h"

namespace {

const id3_ucs4_t kEmptyText[1] = {0};

}  // namespace

const id3_frame* ChooseTitle(const id3_tag& tag, std::u16string* title, int32_t* length) {
  *length = -1;
  // Every string would replace the one before it, so the title is the last
  // one that converts: look from the end.
  for (unsigned f = tag.nframes; f-- > 0;) {
    const id3_frame* frame = tag.frames[f];
    if (strcmp(frame->id, "TIT2") != 0) continue;
    for (unsigned k = frame->nfields; k-- > 0;) {
      const id3_field* field = &frame->fields[k];
      if (field->type != ID3_FIELD_TYPE_STRINGLIST) continue;
      for (unsigned s = id3_field_getnstrings(field); s-- > 0;) {
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
        return frame;
      }
    }
  }
  return nullptr;
}

bool HoldsLatin1Text(const id3_frame& frame) {
  for (unsigned k = 0; k < frame.nfields; ++k) {
    const id3_field* field = &frame.fields[k];
    if (field->type == ID3_FIELD_TYPE_TEXTENCODING) {
      return id3_field_gettextencoding(field) == ID3_FIELD_TEXTENCODING_ISO_8859_1;
    }
  }
  return false;
}

bool GetTitleTag(std::u16string_view folder_path, std::u16string_view file_name,
                 std::u16string* title, int32_t* length, std::string* why,
                 const std::function<void(uint64_t size)>& opened, bool* latin1) {
  *length = -1;
  if (latin1 != nullptr) *latin1 = false;
  std::u16string path(folder_path);
  path += u'\\';
  path += file_name;

  UniqueFd fd;
  uint64_t size = 0;
  if (!OpenRegularFile(HostPath(path), &fd, &size, why)) return false;
  if (opened) opened(size);
  TagSearchStats stats;
  const UniqueTag tag = ReadFileTag(fd.get(), size, &stats);
  if (stats.read_error != 0) {
    // A title from the bytes that could be read may be the wrong one.
    *why = std::string("a read failed: ") + strerror(stats.read_error);
    return false;
  }
  if (!tag) {
    *why = "the tag reader ran out of memory";
    return false;
  }
  const id3_frame* frame = ChooseTitle(*tag, title, length);
  if (frame != nullptr && latin1 != nullptr) *latin1 = HoldsLatin1Text(*frame);
  return true;
}
