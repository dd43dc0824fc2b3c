#include "index/message_file.h"

#include <cstdint>
#include <string>

#include "font/draw.h"
#include "host/console.h"
#include "host/file.h"
#include "index/index_file.h"
#include "text/sjis_field.h"
#include "text/utf.h"

int WriteMessageFile(OutFile* file, GlyphGapState* glyph_gaps) {
  if (!OpenIndexFile(kMessageFileName, /*trace=*/false, file)) return 1;
  PageRow<kMessageRowSize> row;
  for (const char16_t* message : kMessages) {
    char field[kMessageFieldSize];
    // The listing is closed by now: nothing notes a changed message.
    bool replaced = false;
    WideToSjisField(field, sizeof field, message, &replaced);
    DrawField(&row, field, kMessageFieldSize - 1, NameKind::kMessage, [&] {
      return "the player's message \"" + Utf16ToUtf8(message) + "\"";
    }, glyph_gaps);
    WriteBytes(file, row.upper, kMessageRowSize);
    WriteBytes(file, row.lower, kMessageRowSize);
  }
  return FinishAside(file) ? 0 : 1;
}
