// Shift-JIS fixed fields. Every text the player shows is stored as code page
// 932 bytes in a field of fixed size S: the text (never ending inside a
// two-byte character), spaces up to byte S - 2, and a NUL in byte S - 1. So
// the first S - 1 bytes are what the files store and what the name bitmaps
// are drawn from, and the whole field prints with "%s".
//
// Text is normalised to NFC first, so a name decomposed by another system
// ("か" + U+3099) is stored as the character the table knows ("が"). A
// character code page 932 lacks is shown by a look-alike where one is plain
// ("é" as "e", "ß" as "ss", Hangul in Revised Romanization: "한국" as
// "hanguk"); one that has none becomes "?" (one per UTF-16 unit, so "??"
// for a character above U+FFFF), and the caller learns of it (the listing
// notes every name it had to change, and the run names such characters,
// folder by folder). A look-alike of several bytes is cut at the field's
// end like any other text, so a long name may end inside a syllable.
#ifndef CARDPREP_TEXT_SJIS_FIELD_H_
#define CARDPREP_TEXT_SJIS_FIELD_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// Field sizes, the final NUL included.
constexpr size_t kFolderNameFieldSize = 33;
constexpr size_t kSoundNameFieldSize = 49;
constexpr size_t kMessageFieldSize = 17;

// Fills |field| (|size| >= 1 bytes) from |text|; |*replaced| tells whether
// characters taken into the field had to become "?", and |unconvertible|,
// when given, receives each of them once, in order. Returns true, and false
// only for a size of 0.
bool WideToSjisField(char* field, size_t size, std::u16string_view text, bool* replaced,
                     std::vector<char32_t>* unconvertible = nullptr);

// What shows the character |c| (which code page 932 lacks) in code page
// 932: a Hangul syllable or letter romanized (text/hangul.h), else its
// compatibility decomposition without its nonspacing marks, when that
// converts in full ("é" as "e", U+00A0 as a space), else a few plain
// substitutes ("ß" as "ss", "Ø" as "O", dashes as "-"). Empty when there is
// nothing plain.
std::u16string LookAlike(char32_t c);

// The NFC form of |text| (|text| itself when it is already NFC).
std::u16string NormalizeNfc(std::u16string_view text);

#endif  // CARDPREP_TEXT_SJIS_FIELD_H_
