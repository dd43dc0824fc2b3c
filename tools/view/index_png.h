// A picture of the index's pre-drawn names as the display shows them, so a
// card's bitmaps can be looked at without the player. In display pixels,
// before each becomes a |scale| x |scale| square:
//
//   - one band kBandHeight pixels tall per strip, top to bottom: for each
//     folder in the order the player walks the tree, its name strip and
//     then its sounds' strips; after them the message strips;
//   - a strip's 16 pixel rows are rows kStripTop to kStripTop + 15 of its
//     band; its columns start at kFolderX (folders, messages) or kSoundX
//     (sounds, set in under their folder), 256, 384 or 128 of them;
//   - a frame one pixel wide around the strip's first kDisplayColumns
//     columns (rows kStripTop - 1 and kStripTop + 16, columns x - 1 and
//     x + 128): what the display shows of a name before it scrolls;
//   - right of the strips, a label names the record the strip shows: "F12"
//     folder 12, "S340" sound record 340, "M8" message 8, in 3 x 5-dot
//     characters kLabelAdvance pixels apart from kLabelX, rows kLabelTop
//     to kLabelTop + 4, in a colour of its own;
//   - the picture is kPictureWidth pixels wide.
//
// Ink is black and nothing else is: the paper is light, lighter inside the
// frame, and where the frame's right edge crosses a strip it gives way to
// ink.
#ifndef CARDPREP_TOOLS_VIEW_INDEX_PNG_H_
#define CARDPREP_TOOLS_VIEW_INDEX_PNG_H_

#include <cstddef>
#include <string>

#include "tools/view/card_index.h"

constexpr size_t kBandHeight = 20;
constexpr size_t kStripTop = 2;
constexpr size_t kFolderX = 4;
constexpr size_t kSoundX = 20;
constexpr size_t kDisplayColumns = 128;
constexpr size_t kLabelX = kSoundX + kSoundRowSize + 4;
constexpr size_t kLabelTop = 7, kLabelRows = 5, kLabelColumns = 3, kLabelAdvance = 4;
constexpr size_t kPictureWidth = kLabelX + 6 * kLabelAdvance + 2;  // "S65535"
// Taller pictures are refused: few programs open them.
constexpr size_t kMaxPictureHeight = 1000000;
constexpr int kMaxScale = 16;

// Writes the picture to |path|. Returns false, with an error line naming
// |path|, when it would be too tall or cannot be written.
[[nodiscard]] bool WriteIndexPng(const CardIndex& index, const std::string& path, int scale);

#endif  // CARDPREP_TOOLS_VIEW_INDEX_PNG_H_
