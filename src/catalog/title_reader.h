// Titles are asked for ahead of the writer: the scan asks for every sound's
// title as soon as it has taken the folder's files, in the order the sound
// records will be written, and the sound list writer takes them back in that
// same order.
#ifndef CARDPREP_CATALOG_TITLE_READER_H_
#define CARDPREP_CATALOG_TITLE_READER_H_

#include <cstdint>
#include <deque>
#include <string>

#include "catalog/dir_info.h"

struct TitleResult {
  std::u16string title;
  int32_t length = -1;  // -1: the file has no title
};

struct TitleReaderState {
  struct Folder {
    std::u16string path;
    const DirInfo* dir;  // its sounds are the files asked for
    size_t next = 0;
  };
  std::deque<Folder> pending;
};
extern TitleReaderState g_titles;

void ResetTitleReader();  // run order and test fixtures only

// Asks for the titles of all of |dir|'s sounds; |path| is its card path.
void RequestTitles(const std::u16string& path, const DirInfo& dir);
// The title of the next sound asked for. A file that cannot be read has no
// title and is named in a warning.
TitleResult NextTitle();

#endif  // CARDPREP_CATALOG_TITLE_READER_H_
