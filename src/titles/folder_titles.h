// A folder's titles as the listing shows them. The title reader hands over
// the titles of a folder's sounds as their tags (or the record of titles)
// gave them; the titles stored as Latin-1 are then read in the code page
// decided for the folder as a whole (tag_charset.h), since an album is
// tagged by one writer in one code page, and with --tag-charset auto a note
// names the folder and what it was read as. The sound list writer only
// formats what comes out.
#ifndef CARDPREP_TITLES_FOLDER_TITLES_H_
#define CARDPREP_TITLES_FOLDER_TITLES_H_

#include <string>
#include <vector>

#include "titles/code_page.h"
#include "titles/tag_charset.h"
#include "titles/title_frames.h"
#include "titles/title_reader.h"

// One folder's titles, one per file asked for, in the order asked.
struct FolderTitles {
  std::vector<Title> read;   // as read: what the record of titles keeps
  std::vector<Title> shown;  // read in the folder's code page: what is listed
  TagCharsetDecision decision;  // what was read in another code page
};

// Waits for the titles |ticket| stands for, those of the folder at
// |folder_path|, and reads those stored as Latin-1 in the code page
// |charset| picks (decoded with |decoders|, the run's; null: none open).
FolderTitles AwaitFolderTitles(TitleReader* reader, const TitleTicket& ticket,
                               const std::u16string& folder_path, const TagCharset& charset,
                               CodePageDecoders* decoders);

#endif  // CARDPREP_TITLES_FOLDER_TITLES_H_
