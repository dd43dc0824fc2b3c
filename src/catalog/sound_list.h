// The sound list SNDLST16.DAT and the listing TAGINF16.TXT: for every folder
// with sounds, one record and one listing line per file, in the folder's
// sorted order.
//
// Listing lines (Shift-JIS, CR LF): "[name][title]" with both fields 48
// bytes wide, space padded, or "[name]" for a file without a title. Titles
// are shown from the first position where the folder's titles differ, so a
// folder of "Live - Intro", "Live - Outro" lists "Intro" and "Outro".
#ifndef CARDPREP_CATALOG_SOUND_LIST_H_
#define CARDPREP_CATALOG_SOUND_LIST_H_

#include <cstddef>
#include <string>
#include <vector>

#include "host/file.h"
#include "titles/tag_charset.h"
#include "titles/title_reader.h"

constexpr char kSoundListFileName[] = "SNDLST16.DAT";

// The two files the scan writes as it goes: SNDLST16.DAT and the listing
// TAGINF16.TXT. The run order opens and closes them.
struct SoundListFiles {
  OutFile sound_list;
  OutFile listing;
};

// Writes the records and listing lines of the |count| files of the folder
// at |folder_path|, taking them in record order from the title reader with
// their titles; titles stored as Latin-1 are read as |tag_charset| says,
// with |decoders| (with auto, a note on standard error names the folder and
// the code page chosen). Returns what was read in another code page.
TagCharsetDecision WriteSoundList(const std::u16string& folder_path, size_t count,
                                  const TagCharset& tag_charset, CodePageDecoders* decoders,
                                  SoundListFiles* files);

// The position from which a folder's titles are listed: where the first
// title first differs from another, or 0 when a title is missing or empty,
// when all agree as far as the shortest goes, or for a single title.
size_t TitleSkip(const std::vector<TitleResult>& titles);

#endif  // CARDPREP_CATALOG_SOUND_LIST_H_
