// MSGSTR16.DAT: the player's nine fixed messages, drawn here because the
// player cannot draw text. No header; message m lies at byte 256 x m:
//
//   offset  size  field
//   0       128   upper page row: pixel rows 0-7, one byte per column
//   128     128   lower page row: pixel rows 8-15
//
// Each message is its 16-byte Shift-JIS field (left-aligned, space padded)
// drawn with the fonts, 8 columns a byte.
#ifndef CARDPREP_INDEX_MESSAGE_FILE_H_
#define CARDPREP_INDEX_MESSAGE_FILE_H_

#include <cstddef>

#include "font/draw.h"
#include "host/file.h"

constexpr char kMessageFileName[] = "MSGSTR16.DAT";
constexpr size_t kMessageCount = 9;
constexpr size_t kMessageRowSize = 128;
constexpr size_t kMessageUpperRow = 0, kMessageLowerRow = kMessageRowSize;
constexpr size_t kMessageRecordSize = 2 * kMessageRowSize;
static_assert(kMessageLowerRow + kMessageRowSize == kMessageRecordSize, "message layout");
constexpr char16_t const* kMessages[kMessageCount] = {
    u"ZEPHYR",     u"Speaker", u"Earphone",    u"DIRLST ERR",      u"SNDLST ERR",
    u"RANDOM ERR", u"MP3 ERR", u"No HISTFILE", u"[SELECT/RETURN]",
};

// Writes MSGSTR16.DAT aside into |file|; the run order puts it in place.
// Returns 0 when it was written and closed, non-zero when it could not be
// created or closed; when it cannot be created nothing goes to standard
// output and no file is written.
[[nodiscard]] int WriteMessageFile(OutFile* file, GlyphGapState* glyph_gaps);

#endif  // CARDPREP_INDEX_MESSAGE_FILE_H_
