#include "catalog/numbering.h"

#include <algorithm>

#include "host/console.h"

void DropEmptyFolders(DirInfo* dir) {
  for (DirInfo& child : dir->children) DropEmptyFolders(&child);
  auto& children = dir->children;
  children.erase(std::remove_if(children.begin(), children.end(),
                                [](const DirInfo& c) {
                                  return c.children.empty() && c.sounds.empty();
                                }),
                 children.end());
}

void PrintNumbers(const char* label, const DirInfo& dir) {
  Out("%s %x %x, %x %x \n", label, dir.number, uint32_t{dir.number} * 768u, dir.first_sound,
      uint32_t{dir.first_sound} * 1024u);
}

void SetDirInfo(DirInfo* dir, uint16_t* next_folder_number) {
  for (DirInfo& child : dir->children) {
    child.number = (*next_folder_number)++;
    child.parent = dir->number;
    child.grandparent = dir->parent;
    if (!child.sounds.empty()) PrintNumbers("SetDirInfo", child);
  }
  if (!dir->children.empty()) dir->first_child = dir->children.front().number;
  for (DirInfo& child : dir->children) SetDirInfo(&child, next_folder_number);
}

void NumberFolders(DirInfo* root) {
  uint16_t next_folder_number = 1;
  root->number = next_folder_number++;
  root->parent = root->grandparent = 0;
  SetDirInfo(root, &next_folder_number);
}
