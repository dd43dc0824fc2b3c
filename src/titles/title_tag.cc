#include "titles/title_tag.h"

#include <cstring>

#include "host/file.h"
#include "text/card_path.h"
#include "text/utf.h"
#include "titles/tag_search.h"

bool GetTitleTag(std::u16string_view folder_path, std::u16string_view file_name, Title* title,
                 std::string* why, const std::function<void(uint64_t size)>& opened) {
  *title = Title();
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
  *title = ChooseTitle(frames);
  return true;
}
