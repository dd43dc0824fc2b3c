#include "titles/folder_titles.h"

#include "host/console.h"
#include "text/card_path.h"

namespace {

// "3 titles stored as Latin-1 read as Shift-JIS; 1 title read as
// Windows-1252", for the note on a folder.
std::string WhatWasRead(const TagCharsetDecision& read) {
  std::string what;
  if (read.recoded_titles > 0) {
    what = std::to_string(read.recoded_titles) +
           (read.recoded_titles == 1 ? " title" : " titles") + " stored as Latin-1 read as " +
           CodePageName(read.page);
  }
  if (read.windows1252_titles > 0) {
    what += std::string(what.empty() ? "" : "; ") + std::to_string(read.windows1252_titles) +
            (read.windows1252_titles == 1 ? " title" : " titles") + " read as Windows-1252";
  }
  return what;
}

}  // namespace

FolderTitles AwaitFolderTitles(TitleReader* reader, const TitleTicket& ticket,
                               const std::u16string& folder_path, const TagCharset& charset,
                               CodePageDecoders* decoders) {
  FolderTitles titles;
  titles.read.reserve(ticket.count);
  for (size_t i = 0; i < ticket.count; ++i) titles.read.push_back(AwaitTitle(reader, ticket, i));
  titles.shown = titles.read;
  titles.decision = RecodeFolderTitles(charset, decoders, &titles.shown);
  const TagCharsetDecision& read = titles.decision;
  if (charset.automatic && (read.recoded_titles > 0 || read.windows1252_titles > 0)) {
    Note("%s: %s (--tag-charset latin1 reads titles as stored)", ShownPath(folder_path).c_str(),
         WhatWasRead(read).c_str());
  }
  return titles;
}
