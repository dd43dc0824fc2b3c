// Finds the ID3 tags of an MP3 file and merges them into one, as the tag
// library's own file reader does, but reading only the bytes the tags lie in
// (no stdio buffering and seeking) and cutting each ID3v2 tag down to what
// its title depends on first (tag_cut.h).
//
// Where the library looks, and in which order the tags it finds are merged:
//   1. an ID3v1 tag in the last 128 bytes (which may also be where an ID3v2
//      tag begins);
//   2. an ID3v2 tag at the start of the file, then each further tag that a
//      "SEEK" frame of the tag before points to, counted from the end of
//      that tag;
//   3. an ID3v2 tag appended at the end, before any ID3v1 tag, found through
//      its footer.
// A tag that overlaps one found before is left out; one found again (same
// place, same size) is not merged twice. A tag merged replaces every frame
// merged before it, unless its extended header marks it as an update, whose
// frames are added after them. A tag that fails to parse changes nothing.
#ifndef CARDPREP_CATALOG_TAG_SEARCH_H_
#define CARDPREP_CATALOG_TAG_SEARCH_H_

#include <id3tag.h>

#include <cstdint>
#include <memory>

struct TagDeleter {
  void operator()(id3_tag* tag) const { id3_tag_delete(tag); }
};
using UniqueTag = std::unique_ptr<id3_tag, TagDeleter>;

// What a search took, for the benchmarks and the differential checks.
struct TagSearchStats {
  unsigned reads = 0;    // reads of the file
  unsigned tags = 0;     // tags found and parsed
  // The library's reader would never end on this file: a "SEEK" frame
  // leads it back to a tag it has read, over and over. The search stops
  // there instead.
  bool endless = false;
  // A read of the file failed (the error's number): the tag found may lack
  // what the unread bytes held.
  int read_error = 0;
};

// The merged tag of the open file |fd| of |size| bytes: every frame the
// library's reader would merge that a title depends on, in its order
// (frames without a part in the title may be missing). A file without
// tags gives a tag without frames; null only when memory runs out.
UniqueTag ReadFileTag(int fd, uint64_t size, TagSearchStats* stats = nullptr);

#endif  // CARDPREP_CATALOG_TAG_SEARCH_H_
