// Folder numbering, a function of the tree: folders are numbered depth
// first, all children of a folder in a row, then each child's subtree, so a
// folder's children are always the numbers first_child onwards. Folders
// that hold nothing are dropped first: they get no number.
#ifndef CARDPREP_CATALOG_NUMBERING_H_
#define CARDPREP_CATALOG_NUMBERING_H_

#include <cstdint>

#include "catalog/dir_info.h"

// Drops every folder below |dir| that holds neither sounds nor folders
// (after its own empty folders are dropped), keeping the others in order.
void DropEmptyFolders(DirInfo* dir);

// Numbers the whole tree: the root is 1, then SetDirInfo below it.
void NumberFolders(DirInfo* root);
// Numbers the subtree below |dir| (already numbered) from
// |*next_folder_number| on, and links each child to its parent.
void SetDirInfo(DirInfo* dir, uint16_t* next_folder_number);

// The trace line of a folder: its number and first sound with the
// multipliers 768 and 1024 the player's tools have always shown.
void PrintNumbers(const char* label, const DirInfo& dir);

#endif  // CARDPREP_CATALOG_NUMBERING_H_
