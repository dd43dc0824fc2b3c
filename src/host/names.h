// Names between the host and the tool. Host names are bytes, taken as UTF-8;
// the tool keeps every name and path as UTF-16, and paths in the card's own
// form: "" for the root, "\Album\Disc 1" below it. A backslash path becomes a
// host path only when a folder is listed or a file is opened.
#ifndef CARDPREP_HOST_NAMES_H_
#define CARDPREP_HOST_NAMES_H_

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

// Maps a backslash path to a host path relative to the working folder:
// "\A\B" becomes "./A/B", "_FONT\X.FNT" becomes "./_FONT/X.FNT" and the root
// "" becomes ".".
std::string HostPath(std::u16string_view path);

#endif  // CARDPREP_HOST_NAMES_H_
