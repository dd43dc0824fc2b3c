// UTF-8 and UTF-16, and text shown on a line. Host names and arguments are
// bytes, taken as UTF-8; the tool keeps every name and path as UTF-16, and
// says what it has to say in UTF-8.
#ifndef CARDPREP_TEXT_UTF_H_
#define CARDPREP_TEXT_UTF_H_

#include <string>
#include <string_view>

// Decodes UTF-8 into UTF-16 (characters above U+FFFF become surrogate pairs).
// Returns false, leaving |out| unspecified, when |utf8| is not valid UTF-8:
// overlong forms, surrogate code points and values above U+10FFFF included.
bool Utf8ToUtf16(std::string_view utf8, std::u16string* out);

// Encodes UTF-16 as UTF-8; a lone surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view utf16);

// |text| for a line of its own: control bytes (and, with |high_too|, bytes
// from 0x80 up, for names that are not UTF-8) as \xNN.
std::string EscapedBytes(std::string_view text, bool high_too);

// |text| as one word for a POSIX shell: in single quotes when it is UTF-8
// of printable characters, else as $'...' with every other byte as \xNN.
std::string ShellQuoted(std::string_view text);

// A host name for messages: its bytes, with control bytes and bytes from
// 0x80 up as \xNN (for names that are not UTF-8).
std::string EscapedName(std::string_view name);
// A host name as a line shows it: itself when it is UTF-8, else escaped.
std::string ShownName(std::string_view name);

// "U+00E9 'é'" (the character left out where it cannot be printed).
std::string DescribeCharacter(char32_t c);

#endif  // CARDPREP_TEXT_UTF_H_
