// The sound list SNDLST16.DAT and the listing TAGINF16.TXT, written from
// the catalog folder by folder in the scan's order: for every folder with
// sounds, one record (sound_record.h) and one listing line per file, in the
// folder's sorted order, once the folder's titles are there to list
// (titles/folder_titles.h).
//
// Listing lines (Shift-JIS, CR LF): "[name][title]" with both fields 48
// bytes wide, space padded, or "[name]" for a file without a title. Titles
// are shown from the first position where the folder's titles differ, so a
// folder of "Live - Intro", "Live - Outro" lists "Intro" and "Outro".
#ifndef CARDPREP_INDEX_SOUND_LIST_H_
#define CARDPREP_INDEX_SOUND_LIST_H_

#include <cstddef>
#include <string>
#include <vector>

#include "catalog/dir_info.h"
#include "font/draw.h"
#include "host/file.h"
#include "titles/code_page.h"
#include "titles/tag_charset.h"
#include "titles/title_frames.h"
#include "titles/title_reader.h"

constexpr char kSoundListFileName[] = "SNDLST16.DAT";

// The two files the sound list writer writes: SNDLST16.DAT and the listing
// TAGINF16.TXT. The run order opens and closes them.
struct SoundListFiles {
  OutFile sound_list;
  OutFile listing;
};

// What the sound list writer writes with: its files, the reader it waits
// for titles from, how titles stored as Latin-1 are read (with auto, a note
// names each folder and the code page chosen), and what it counts.
struct SoundListWriter {
  SoundListFiles* files = nullptr;
  TitleReader* titles = nullptr;
  TagCharset tag_charset;
  CodePageDecoders* decoders = nullptr;  // owned by the run; null: none open
  TitleTally tally;                      // titles read in another code page
  GlyphGapState* glyph_gaps = nullptr;   // the run's report's
};

// Writes the sound records and listing lines of |dir|'s subtree (|dir| at
// |path|), each folder's with the titles AwaitFolderTitles gives it (kept
// as read in its sounds, for the record of titles), printing each folder's
// trace line on the way ("GetSubDirInfo=[...]" and, for a file-unit folder,
// " ファイル単位").
void GetSubDirInfo(const std::u16string& path, DirInfo* dir, SoundListWriter* writer);

// Writes the records and listing lines of |sounds|, the sounds of the folder
// at |folder_path|, listing each with its title in |titles| (as shown, one
// a sound; a sound beyond them has none).
void WriteSoundList(const std::u16string& folder_path, const std::vector<Sound>& sounds,
                    const std::vector<Title>& titles, SoundListFiles* files,
                    GlyphGapState* glyph_gaps);

// The position from which a folder's titles are listed: where the first
// title first differs from another, or 0 when a title is missing or empty,
// when all agree as far as the shortest goes, or for a single title.
size_t TitleSkip(const std::vector<Title>& titles);

#endif  // CARDPREP_INDEX_SOUND_LIST_H_
