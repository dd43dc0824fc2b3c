// The card walk shared by the benchmark walks; see card_walk.h.
#define _GNU_SOURCE
#include "card_walk.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/stat.h>

typedef struct {
  char** items;
  size_t count;
  size_t capacity;
} NameList;

typedef struct {
  TakeSoundFn take_sound;
  int list;
  FILE* sounds;
  FILE* folders;
  unsigned long sound_count;
  unsigned long folder_count;
  int failed;
} Walk;

static const char kSoundFile[] = "WALKSND.DAT";
static const char kFolderFile[] = "WALKDIR.DAT";

static void Push(NameList* list, const char* name) {
  if (list->count == list->capacity) {
    list->capacity = list->capacity ? list->capacity * 2 : 16;
    list->items = realloc(list->items, list->capacity * sizeof(char*));
    if (list->items == NULL) abort();
  }
  list->items[list->count] = strdup(name);
  if (list->items[list->count] == NULL) abort();
  list->count++;
}

static void FreeList(NameList* list) {
  for (size_t i = 0; i < list->count; ++i) free(list->items[i]);
  free(list->items);
}

static int CompareNames(const void* a, const void* b) {
  return strcmp(*(char* const*)a, *(char* const*)b);
}

static int IsMp3Name(const char* name) {
  size_t len = strlen(name);
  return len > 4 && strcasecmp(name + len - 4, ".mp3") == 0;
}

static void WriteRecord(Walk* walk, FILE* out, const char* file, const uint8_t* record,
                        size_t size) {
  if (!walk->failed && fwrite(record, 1, size, out) != size) {
    fprintf(stderr, "error: cannot write %s\n", file);
    walk->failed = 1;
  }
}

// Walks the folder at |path| (a "./"-rooted host path in a buffer of
// PATH_MAX bytes) and everything below it.
static void WalkFolder(Walk* walk, char* path, size_t path_len) {
  NameList folders = {0}, sounds = {0};
  DIR* dir = opendir(path);
  if (dir == NULL) {
    fprintf(stderr, "warning: cannot list %s: %s\n", path, strerror(errno));
  } else {
    struct dirent* entry;
    while ((entry = readdir(dir)) != NULL) {
      const char* name = entry->d_name;
      if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0) continue;
      unsigned char type = entry->d_type;
      if (type == DT_UNKNOWN || (type == DT_LNK && IsMp3Name(name))) {
        // Symbolic links to regular files count as sounds; links to folders
        // are not followed.
        struct stat st;
        int flags = type == DT_LNK ? 0 : AT_SYMLINK_NOFOLLOW;
        if (fstatat(dirfd(dir), name, &st, flags) != 0) continue;
        type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : DT_UNKNOWN;
      }
      if (type == DT_DIR) {
        Push(&folders, name);
      } else if (type == DT_REG && IsMp3Name(name)) {
        Push(&sounds, name);
      }
    }
    closedir(dir);
  }

  uint8_t folder_record[kWalkFolderRecordSize] = {0};
  memcpy(folder_record, path, path_len < kWalkNameSize ? path_len : kWalkNameSize);
  WriteRecord(walk, walk->folders, kFolderFile, folder_record, sizeof folder_record);
  walk->folder_count++;

  for (size_t i = 0; i < sounds.count; ++i) {
    const char* name = sounds.items[i];
    size_t name_len = strlen(name);
    if (path_len + 1 + name_len >= PATH_MAX) continue;
    path[path_len] = '/';
    memcpy(path + path_len + 1, name, name_len + 1);
    uint8_t record[kWalkSoundRecordSize] = {0};
    memcpy(record + kWalkNameOffset, name, name_len < kWalkNameSize ? name_len : kWalkNameSize);
    walk->take_sound(path, record, walk->list);
    WriteRecord(walk, walk->sounds, kSoundFile, record, sizeof record);
    walk->sound_count++;
  }
  path[path_len] = '\0';

  if (folders.count > 1) qsort(folders.items, folders.count, sizeof(char*), CompareNames);
  for (size_t i = 0; i < folders.count; ++i) {
    size_t name_len = strlen(folders.items[i]);
    if (path_len + 1 + name_len >= PATH_MAX) continue;
    path[path_len] = '/';
    memcpy(path + path_len + 1, folders.items[i], name_len + 1);
    WalkFolder(walk, path, path_len + 1 + name_len);
    path[path_len] = '\0';
  }
  FreeList(&folders);
  FreeList(&sounds);
}

static int CloseChecked(FILE* f, const char* file) {
  int bad = fflush(f) != 0 || ferror(f);
  if (fclose(f) != 0) bad = 1;
  if (bad) fprintf(stderr, "error: cannot write %s\n", file);
  return !bad;
}

int RunCardWalk(const char* program, int argc, char** argv, TakeSoundFn take_sound) {
  Walk walk = {0};
  walk.take_sound = take_sound;
  for (int i = 1; i < argc; ++i) {
    if (strcmp(argv[i], "--list") == 0) {
      walk.list = 1;
    } else {
      fprintf(stderr,
              "usage: %s [--list]\n"
              "Walks the card in the working folder; writes %s and %s there.\n",
              program, kSoundFile, kFolderFile);
      return 2;
    }
  }
  walk.sounds = fopen(kSoundFile, "wb");
  walk.folders = fopen(kFolderFile, "wb");
  if (walk.sounds == NULL || walk.folders == NULL) {
    fprintf(stderr, "error: cannot write %s\n", walk.sounds == NULL ? kSoundFile : kFolderFile);
    if (walk.sounds) fclose(walk.sounds);
    if (walk.folders) fclose(walk.folders);
    return 1;
  }
  char path[PATH_MAX] = ".";
  WalkFolder(&walk, path, 1);
  int ok = CloseChecked(walk.sounds, kSoundFile);
  ok = CloseChecked(walk.folders, kFolderFile) && ok;
  fprintf(stderr, "%s: %lu folders, %lu sounds\n", program, walk.folder_count, walk.sound_count);
  return ok && !walk.failed ? 0 : 1;
}
