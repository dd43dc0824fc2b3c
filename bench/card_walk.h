// The card walk shared by the benchmark walks (floor_walk, id3tag_walk).
//
// From the working folder down, like cardprep: every folder is listed once,
// its entries split into subfolders (real directories, visited in name
// order) and sounds (regular files named *.mp3 in any case, taken in the
// order the folder lists them). Each folder gets a 1024-byte record in
// WALKDIR.DAT and each sound a 1120-byte record in WALKSND.DAT, the sizes of
// cardprep's folder and sound records, so the write volume is the same; the
// bytes are not cardprep's formats.
#ifndef CARDPREP_BENCH_CARD_WALK_H_
#define CARDPREP_BENCH_CARD_WALK_H_

#include <stddef.h>
#include <stdint.h>

enum {
  kWalkSoundRecordSize = 1120,
  kWalkFolderRecordSize = 1024,
  // Sound record: the file name (bytes as on the card) from 0, the title as
  // UTF-16LE from kWalkTitleOffset, at most kWalkTitleUnits units.
  kWalkNameOffset = 0,
  kWalkNameSize = 256,
  kWalkTitleOffset = 256,
  kWalkTitleUnits = 259,
};

// Reads what the walk needs from one sound at |path| ("./A/B/x.mp3") and
// fills the title part of |record| (zeroed, name already in). |list| asks
// for one line on standard output describing what was found.
typedef void (*TakeSoundFn)(const char* path, uint8_t* record, int list);

// Walks the card in the working folder. |argv| takes "--list" (print one
// line per sound, for tests). Returns the process exit status.
int RunCardWalk(const char* program, int argc, char** argv, TakeSoundFn take_sound);

static inline void PutLe16(uint8_t* p, uint16_t v) {
  p[0] = (uint8_t)v;
  p[1] = (uint8_t)(v >> 8);
}

#endif  // CARDPREP_BENCH_CARD_WALK_H_
