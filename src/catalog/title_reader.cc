#include "catalog/title_reader.h"

#include "catalog/title_tag.h"
#include "host/console.h"
#include "host/folder.h"

TitleReaderState g_titles;

void ResetTitleReader() { g_titles = TitleReaderState(); }

void RequestTitles(const std::u16string& path, const DirInfo& dir) {
  if (!dir.sounds.empty()) g_titles.pending.push_back({path, &dir, 0});
}

TitleResult NextTitle() {
  TitleResult result;
  if (g_titles.pending.empty()) return result;
  TitleReaderState::Folder& folder = g_titles.pending.front();
  const std::u16string& name = folder.dir->sounds[folder.next];
  std::string why;
  if (!GetTitleTag(folder.path, name, &result.title, &result.length, &why)) {
    Warn("cannot read %s: %s; listed without a title",
         ShownPath(folder.path + u'\\' + name).c_str(), why.c_str());
  }
  if (++folder.next == folder.dir->sounds.size()) g_titles.pending.pop_front();
  return result;
}
