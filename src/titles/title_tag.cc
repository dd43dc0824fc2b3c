#include "titles/title_tag.h"

#include <cstring>

#include "host/file.h"
#include "text/card_path.h"
#include "text/utf.h"
#include "titles/tag_search.h"

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
  const std::vector<TitleFrame> frames = ReadFileTitles(fd.get(), size, kTitleDecoder, &stats);
  if (stats.read_error != 0) {
    // A title from the bytes that could be read may be the wrong one.
    *why = std::string("a read failed: ") + strerror(stats.read_error);
    return false;
  }
  const TitleFrame* frame = ChooseTitle(frames, title, length);
  if (frame != nullptr && latin1 != nullptr) *latin1 = frame->latin1;
  return true;
}
