// Shift-JIS fixed fields. Every text the player shows is stored as code page
// 932 bytes in a field of fixed size S: the text (never ending inside a
// two-byte character), spaces up to byte S - 2, and a NUL in byte S - 1. So
// the first S - 1 bytes are what the files store and what the name bitmaps
// are drawn from, and the whole field prints with "%s".
//
// Text is normalised to NFC first, so a name decomposed by another system
// ("か" + U+3099) is stored as the character the table knows ("が"). A
// character code page 932 lacks becomes "?" (one per UTF-16 unit), and the
// caller learns of it (the listing notes every name it had to change).
#ifndef CARDPREP_SJIS_SJIS_FIELD_H_
#define CARDPREP_SJIS_SJIS_FIELD_H_

#include <cstddef>
#include <string>
#include <string_view>

// Field sizes, the final NUL included.
constexpr size_t kFolderNameFieldSize = 33;
constexpr size_t kSoundNameFieldSize = 49;
constexpr size_t kMessageFieldSize = 17;

// Fills |field| (|size| >= 1 bytes) from |text|; |*replaced| tells whether
// characters taken into the field had to become "?". Returns true; false
// only if not even "???" could be stored, which code page 932 cannot cause.
bool WideToSjisField(char* field, size_t size, std::u16string_view text, bool* replaced);

// A copy of |text| of the same length in which every UTF-16 unit that code
// page 932 cannot convert by itself is "?".
std::u16string ReplaceUnconvertible(std::u16string_view text);

// The NFC form of |text| (|text| itself when it is already NFC).
std::u16string NormalizeNfc(std::u16string_view text);

#endif  // CARDPREP_SJIS_SJIS_FIELD_H_
