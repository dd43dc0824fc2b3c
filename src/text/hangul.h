// Hangul as the player shows it. Code page 932 has no Korean letter, so a
// Korean name would be a row of "?"; it is written in Revised Romanization
// instead, lower case, which reads on the display and costs a few bytes of
// ASCII a syllable.
//
// A syllable (U+AC00-U+D7A3) is written by itself, with no sound change
// across syllables: its initial (ㅇ silent), its vowel, and its final as
// Revised Romanization writes it before a consonant, one of k, n, t, l, m,
// p, ng. So 한국 is "hanguk", 안녕 "annyeong", 서울 "seoul", 닭 "dak".
//
// A compatibility jamo (U+3131-U+318E), a letter standing alone as in
// "ㅋㅋㅋ", has no rule of its own there; it is written letter by letter:
// each consonant by its initial form (ㅋ "k", ㄹ "r", ㄲ "kk", a cluster
// such as ㄳ "gs"), with ㅇ, silent only before a vowel, as "ng"; each vowel
// as in a syllable (ㅠ "yu"). The old letters by their sound: ㅿ "z",
// ㆁ "ng", ㆆ "h", the light ㅱ ㅸ ㅹ ㆄ as "m", "b", "pp", "p", ㆍ "a" (and
// the clusters of them letter by letter). The filler U+3164, drawn blank,
// is a space.
#ifndef CARDPREP_TEXT_HANGUL_H_
#define CARDPREP_TEXT_HANGUL_H_

#include <string>

// The romanization of the Hangul syllable or compatibility jamo |c|, in
// ASCII; empty for any other character.
std::u16string RomanizedHangul(char32_t c);

#endif  // CARDPREP_TEXT_HANGUL_H_
