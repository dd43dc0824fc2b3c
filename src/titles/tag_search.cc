#include "titles/tag_search.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <map>
#include <new>
#include <vector>

#include "host/file.h"
#include "text/card_path.h"
#include "titles/file_bytes.h"
#include "titles/tag_cut.h"
#if defined(CARDPREP_HAVE_ID3TAG)
#include "titles/tag_library.h"
#endif

namespace {

constexpr uint64_t kV1Size = 128;
constexpr uint64_t kFooterSize = 10;
constexpr size_t kMajorVersion = 3;  // in an ID3v2 header

long QueryWith(TagDecoder decoder, const uint8_t* data, size_t length) {
#if defined(CARDPREP_HAVE_ID3TAG)
  if (decoder == TagDecoder::kLibrary) return QueryTagWithLibrary(data, length);
#endif
  (void)decoder;
  return QueryTag(data, length);
}

bool DecodeWith(TagDecoder decoder, const uint8_t* data, size_t length, TagTitles* tag) {
#if defined(CARDPREP_HAVE_ID3TAG)
  if (decoder == TagDecoder::kLibrary) return DecodeTagWithLibrary(data, length, tag);
#endif
  (void)decoder;
  return DecodeTag(data, length, tag);
}

class TagSearch {
 public:
  TagSearch(int fd, uint64_t size, TagDecoder decoder) : file_(fd, size), decoder_(decoder) {}

  void Run();
  unsigned reads() const { return file_.reads(); }
  int read_error() const { return file_.error(); }
  unsigned tags() const { return tags_; }
  bool endless() const { return endless_; }
  bool past_end() const { return past_end_; }
  std::vector<TitleFrame>& titles() { return titles_; }

 private:
  // A tag found, by where it ends and what it held that the search uses.
  struct Found {
    uint64_t end = 0;
    bool parsed = false;  // else the file ended before it, or it did not parse
    unsigned version = 0;
    bool has_seek = false;
    int64_t seek = 0;  // the first "SEEK" frame's offset
  };
  enum class Outcome { kAdded, kDuplicate, kOverlap };

  // The size of a tag beginning at |at| (negative: a footer, ending a tag
  // that many bytes back), or 0 for none.
  long Query(uint64_t at);
  Outcome Add(uint64_t at, uint64_t length, const Found** found);
  Found Read(uint64_t at, uint64_t length);
  bool Parse(uint64_t at, uint64_t length, TagTitles* tag);
  void Merge(TagTitles* tag);

  FileBytes file_;
  TagDecoder decoder_;
  std::vector<TitleFrame> titles_;  // merged so far
  TagTitles tag_;                   // the tag being read
  std::map<uint64_t, Found> found_;  // by where each tag begins; never overlapping
  std::vector<uint8_t> cut_;
  unsigned tags_ = 0;
  bool endless_ = false;
  bool past_end_ = false;
};

long TagSearch::Query(uint64_t at) {
  if (at >= file_.size()) return 0;
  const auto n = static_cast<size_t>(std::min<uint64_t>(kTagQuerySize, file_.size() - at));
  const uint8_t* bytes = file_.Get(at, n, UINT64_MAX);
  return bytes == nullptr ? 0 : QueryWith(decoder_, bytes, n);
}

TagSearch::Outcome TagSearch::Add(uint64_t at, uint64_t length, const Found** found) {
  const uint64_t end = at + length;
  const auto next = found_.upper_bound(at);
  if (next != found_.begin()) {
    const auto before = std::prev(next);
    if (before->first == at && before->second.end == end) {
      *found = &before->second;
      return Outcome::kDuplicate;
    }
    if (before->second.end > at) return Outcome::kOverlap;
  }
  if (next != found_.end() && next->first < end) return Outcome::kOverlap;
  *found = &found_.emplace(at, Read(at, length)).first->second;
  return Outcome::kAdded;
}

TagSearch::Found TagSearch::Read(uint64_t at, uint64_t length) {
  Found found;
  found.end = at + length;
  // A tag the file ends inside of is not read at all.
  if (length > file_.size() || at > file_.size() - length) return found;
  if (!Parse(at, length, &tag_)) return found;
  ++tags_;
  found.parsed = true;
  found.version = tag_.version;
  found.has_seek = tag_.has_seek;
  found.seek = tag_.seek;
  Merge(&tag_);
  return found;
}

bool TagSearch::Parse(uint64_t at, uint64_t length, TagTitles* tag) {
  const uint8_t* start = file_.Get(at, 4);
  if (start == nullptr) return false;
  if (memcmp(start, "TAG", 3) == 0) {  // ID3v1: 128 bytes, as found
    const uint8_t* v1 = file_.Get(at, static_cast<size_t>(length));
    return v1 != nullptr && DecodeWith(decoder_, v1, static_cast<size_t>(length), tag);
  }
  // ID3v2: the library parses versions 2 to 4 only.
  const uint8_t major = start[kMajorVersion];
  if (major < 2 || major > 4) return false;
  if (!CutTagForTitle(&file_, at, length, &cut_)) return false;
  const bool parsed = DecodeWith(decoder_, cut_.data(), cut_.size(), tag);
  past_end_ |= tag->past_end;
  // A large tag's copy is not kept for the next file.
  if (cut_.capacity() > (1u << 20)) std::vector<uint8_t>().swap(cut_);
  return parsed;
}

void TagSearch::Merge(TagTitles* tag) {
  if (!tag->update) titles_.clear();
  for (TitleFrame& frame : tag->titles) titles_.push_back(std::move(frame));
}

void TagSearch::Run() {
  const uint64_t size = file_.size();
  const Found* found = nullptr;

  // 1. An ID3v1 tag, or whatever tag begins 128 bytes before the end.
  bool v1 = false;
  if (size >= kV1Size) {
    const long length = Query(size - kV1Size);
    if (length > 0 && Add(size - kV1Size, static_cast<uint64_t>(length), &found) !=
                          Outcome::kOverlap) {
      v1 = found->parsed && found->version >> 8 == 1;
    }
  }

  // 2. A tag at the start, and the tags its "SEEK" frames lead to.
  long length = Query(0);
  uint64_t at = 0;
  while (length > 0) {
    const Outcome outcome = Add(at, static_cast<uint64_t>(length), &found);
    if (outcome == Outcome::kOverlap || !found->parsed || !found->has_seek || found->seek < 0) {
      break;
    }
    // A tag found again is not read again, so the offset counts from its start.
    if (outcome == Outcome::kDuplicate && found->seek == 0) {
      endless_ = true;
      break;
    }
    at += (outcome == Outcome::kDuplicate ? 0 : static_cast<uint64_t>(length)) +
          static_cast<uint64_t>(found->seek);
    length = Query(at);
  }

  // 3. A tag appended at the end (before an ID3v1 tag), found by its footer.
  const uint64_t footer_back = kFooterSize + (v1 ? kV1Size : 0);
  if (size >= footer_back) {
    const uint64_t footer = size - footer_back;
    const long back = Query(footer);
    if (back < 0 && static_cast<uint64_t>(-back) <= footer) {
      const uint64_t start = footer - static_cast<uint64_t>(-back);
      const long appended = Query(start);
      if (appended > 0) Add(start, static_cast<uint64_t>(appended), &found);
    }
  }
}

}  // namespace

std::vector<TitleFrame> ReadFileTitles(int fd, uint64_t size, TagDecoder decoder,
                                       TagSearchStats* stats) {
  TagSearch search(fd, size, decoder);
  search.Run();
  if (stats != nullptr) {
    stats->reads = search.reads();
    stats->tags = search.tags();
    stats->endless = search.endless();
    stats->read_error = search.read_error();
    stats->past_end = search.past_end();
  }
  return std::move(search.titles());
}

bool GetTitleTag(std::u16string_view folder_path, std::u16string_view file_name, Title* title,
                 std::string* why, const std::function<void(uint64_t size)>& opened) {
  *title = Title();
  UniqueFd fd;
  uint64_t size = 0;
  if (!OpenRegularFile(HostPath(ChildPath(folder_path, file_name)), &fd, &size, why)) return false;
  if (opened) opened(size);
  TagSearchStats stats;
  const std::vector<TitleFrame> frames = ReadFileTitles(fd.get(), size, kTitleDecoder, &stats);
  if (stats.read_error != 0) {
    // A title from the bytes that could be read may be the wrong one.
    *why = std::string("a read failed: ") + strerror(stats.read_error);
    return false;
  }
  *title = ChooseTitle(frames);
  return true;
}
