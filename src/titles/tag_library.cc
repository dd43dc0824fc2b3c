#include "titles/tag_library.h"

#include <id3tag.h>

#include <cstring>
#include <memory>

namespace {

struct TagDeleter {
  void operator()(id3_tag* tag) const { id3_tag_delete(tag); }
};

const id3_ucs4_t kEmptyText[1] = {0};

// A title frame as the titles take it: its text encoding, and the last
// string of its (last) string list that is not empty (title_frames.h).
TitleFrame ToTitleFrame(const id3_frame& frame) {
  TitleFrame title;
  bool encoding_seen = false;
  for (unsigned k = 0; k < frame.nfields; ++k) {
    const id3_field* field = &frame.fields[k];
    if (field->type == ID3_FIELD_TYPE_TEXTENCODING && !encoding_seen) {
      encoding_seen = true;
      title.latin1 = id3_field_gettextencoding(field) == ID3_FIELD_TEXTENCODING_ISO_8859_1;
    }
    if (field->type != ID3_FIELD_TYPE_STRINGLIST) continue;
    const unsigned strings = id3_field_getnstrings(field);
    if (strings == 0) continue;
    const id3_ucs4_t* text = kEmptyText;
    for (unsigned s = strings; s > 0; --s) {
      const id3_ucs4_t* string = id3_field_getstrings(field, s - 1);
      if (string != nullptr && string[0] != 0) {
        text = string;
        break;
      }
    }
    title.has_text = true;
    title.text.clear();
    for (const id3_ucs4_t* c = text; *c != 0; ++c) {
      AppendTitleUnits(static_cast<char32_t>(*c), &title.text);
    }
  }
  return title;
}

}  // namespace

long QueryTagWithLibrary(const uint8_t* data, size_t length) { return id3_tag_query(data, length); }

bool DecodeTagWithLibrary(const uint8_t* data, size_t length, TagTitles* tag) {
  ResetTagTitles(tag);
  const std::unique_ptr<id3_tag, TagDeleter> parsed(id3_tag_parse(data, length));
  if (!parsed) return false;
  tag->version = id3_tag_version(parsed.get());
  tag->update = (parsed->extendedflags & ID3_TAG_EXTENDEDFLAG_TAGISANUPDATE) != 0;
  if (const id3_frame* seek = id3_tag_findframe(parsed.get(), "SEEK", 0)) {
    if (const id3_field* offset = id3_frame_field(seek, 0)) {
      tag->has_seek = true;
      tag->seek = id3_field_getint(offset);
    }
  }
  for (unsigned i = 0; i < parsed->nframes; ++i) {
    const id3_frame* frame = parsed->frames[i];
    if (strcmp(frame->id, "TIT2") == 0) tag->titles.push_back(ToTitleFrame(*frame));
  }
  return true;
}
