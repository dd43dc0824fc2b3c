// The libid3tag-only walk: the card walk reading each sound's title through
// libid3tag (id3_file_open, id3_file_tag, the first TIT2 string), as a title
// reader built on it does, and nothing else of cardprep's work.
//
// Run in a card's root: id3tag_walk [--list]
// --list prints, per sound: path, title in UTF-8 (empty for none), and the
// size of the first APIC frame's picture (-1 for none).
#include <id3tag.h>
#include <stdio.h>
#include <stdlib.h>

#include "card_walk.h"

static void TakeSound(const char* path, uint8_t* record, int list) {
  struct id3_file* file = id3_file_open(path, ID3_FILE_MODE_READONLY);
  if (file == NULL) {
    fprintf(stderr, "warning: cannot read %s\n", path);
    return;
  }
  struct id3_tag* tag = id3_file_tag(file);
  const id3_ucs4_t* title = NULL;
  struct id3_frame* frame = tag ? id3_tag_findframe(tag, ID3_FRAME_TITLE, 0) : NULL;
  if (frame != NULL) {
    union id3_field* field = id3_frame_field(frame, 1);
    if (field != NULL && id3_field_getnstrings(field) > 0) title = id3_field_getstrings(field, 0);
  }
  // The title as UTF-16 units, characters above U+FFFF as surrogate pairs.
  size_t units = 0;
  for (size_t i = 0; title != NULL && title[i] != 0 && units < kWalkTitleUnits; ++i) {
    id3_ucs4_t c = title[i];
    uint8_t* at = record + kWalkTitleOffset + 2 * units;
    if (c > 0xFFFF && c <= 0x10FFFF && units + 2 <= kWalkTitleUnits) {
      PutLe16(at, (uint16_t)(0xD800 + ((c - 0x10000) >> 10)));
      PutLe16(at + 2, (uint16_t)(0xDC00 + ((c - 0x10000) & 0x3FF)));
      units += 2;
    } else if (c <= 0xFFFF) {
      PutLe16(at, (uint16_t)c);
      units += 1;
    } else {
      break;
    }
  }
  if (list) {
    long picture_size = -1;
    struct id3_frame* apic = tag ? id3_tag_findframe(tag, "APIC", 0) : NULL;
    union id3_field* data = apic ? id3_frame_field(apic, 4) : NULL;
    if (data != NULL) {
      id3_length_t length = 0;
      if (id3_field_getbinarydata(data, &length) != NULL) picture_size = (long)length;
    }
    id3_utf8_t* utf8 = title ? id3_ucs4_utf8duplicate(title) : NULL;
    printf("%s\t%s\t%ld\n", path + 2, utf8 ? (const char*)utf8 : "", picture_size);
    free(utf8);
  }
  id3_file_close(file);
}

int main(int argc, char** argv) { return RunCardWalk("id3tag_walk", argc, argv, TakeSound); }
