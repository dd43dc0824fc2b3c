// Folder numbering and the folder list DIRLST16.DAT. Folders are numbered
// depth first: all children of a folder in a row, then each child's subtree,
// so a folder's children are always the numbers first_child onwards.
#ifndef CARDPREP_CATALOG_DIR_LIST_H_
#define CARDPREP_CATALOG_DIR_LIST_H_

#include <cstdint>
#include <string>

#include "catalog/dir_info.h"
#include "host/file.h"

constexpr char kDirListFileName[] = "DIRLST16.DAT";

// The next folder number to give; written only by the numbering.
struct NumberingState {
  uint16_t next_folder_number = 0;
};
extern NumberingState g_numbering;

// Numbers the whole tree: the root is 1, then SetDirInfo below it.
void NumberFolders(DirInfo* root);
// Numbers the subtree below |dir| (already numbered) and links each child
// to its parent.
void SetDirInfo(DirInfo* dir);

// The writers of the folder list, in the order of the file: header, the
// root's record, then every other folder in number order.
bool WriteDirListHeader(OutFile* file);
bool WriteRootDirEntry(OutFile* file, const DirInfo& root);
bool WriteDirStructureFileM(OutFile* file, const std::u16string& path, const DirInfo& dir);

#endif  // CARDPREP_CATALOG_DIR_LIST_H_
