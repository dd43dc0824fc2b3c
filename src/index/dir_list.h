// The folder list DIRLST16.DAT, written from the numbered catalog
// (catalog/numbering.h): the header, the root's record, then every other
// folder in number order (folder_record.h says the layout).
#ifndef CARDPREP_INDEX_DIR_LIST_H_
#define CARDPREP_INDEX_DIR_LIST_H_

#include <ctime>
#include <string>

#include "catalog/dir_info.h"
#include "font/draw.h"
#include "host/file.h"

constexpr char kDirListFileName[] = "DIRLST16.DAT";

// The writers of the folder list, in the order of the file. |written| is
// the time the header gives as the time of writing.
void WriteDirListHeader(OutFile* file, const CatalogCounters& counters, const std::tm& written);
void WriteRootDirEntry(OutFile* file, const DirInfo& root);
// The records of every folder below |dir| (at |path|), printing each one's
// trace line; what the fonts cannot show is noted in |glyph_gaps|.
void WriteDirStructureFileM(OutFile* file, const std::u16string& path, const DirInfo& dir,
                            GlyphGapState* glyph_gaps);

#endif  // CARDPREP_INDEX_DIR_LIST_H_
