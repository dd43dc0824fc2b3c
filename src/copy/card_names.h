// Names a copy gives on the card, fitted to what FAT and the player take:
// no character FAT cannot hold, no name the scan passes over, no name
// longer than the player's fields. Every function is pure: lengths are in
// UTF-16 units, and a surrogate pair is never cut in two.
#ifndef CARDPREP_COPY_CARD_NAMES_H_
#define CARDPREP_COPY_CARD_NAMES_H_

#include <cstddef>
#include <string>
#include <string_view>

// What a fitting changed, for the line that says so (a name that differs
// only in its extension, ".flac" become ".mp3", is no change).
enum NameChange : unsigned {
  kNameKept = 0,
  kFatCharacters = 1,  // ?:*<>|"\ / and control characters, a trailing dot or space
  kDeviceName = 2,     // CON, NUL, COM1... which Windows keeps for its devices
  kToolFolderMark = 4, // a folder name beginning with "_", which the scan never enters
  kCut = 8,            // longer than the player takes
};

// |name| with every character FAT cannot hold in a name as "_": the
// characters ? : * < > | " \ / and those below U+0020, and a dot or space
// at its end. A name Windows keeps for a device (CON, PRN, AUX, NUL, COM1
// to COM9, LPT1 to LPT9, alone or before a dot) gets "_" after that part.
// An empty name becomes "_".
std::u16string FatSafeName(std::u16string_view name, unsigned* changes);

// |name| cut to |max| units. With |keep_extension|, what follows its last
// dot (when that is short, as an extension is) stays and the part before it
// is cut. A dot or space the cut leaves at the end becomes "_".
std::u16string CutName(std::u16string_view name, size_t max, bool keep_extension);

// The name a folder gets: FAT-safe, a "_" it begins with (the scan takes
// such folders for the tool's own and never enters them) as "＿" (U+FF3F,
// which the player shows much as "_"), cut to |max| units (64 at most).
std::u16string FitFolderName(std::u16string_view name, size_t max, unsigned* changes);

// The name a file gets: |base| (its name without the source's extension)
// FAT-safe, then |extension| (".mp3"), cut to 128 units with the extension
// kept.
std::u16string FitFileName(std::u16string_view base, std::u16string_view extension,
                           unsigned* changes);

// The |n|-th name for a name taken already: "Song (2).mp3", "Album (3)";
// cut first so that it fits in |max| units.
std::u16string NumberedName(std::u16string_view name, unsigned n, size_t max,
                            bool keep_extension);

// The name of the |part|-th folder a folder too full for the player is
// split into: "Album 2", cut to fit in |max| units.
std::u16string PartName(std::u16string_view name, unsigned part, size_t max);

// |name| as FAT compares names: case folded, so that "Song.mp3" and
// "SONG.MP3" are one name on the card.
std::u16string FatKey(std::u16string_view name);

// The extension of a file name: from its last dot on, or empty.
std::u16string_view ExtensionOf(std::u16string_view name);

// Words for what |changes| holds: "FAT cannot hold '?'", joined by "; ".
std::string DescribeNameChanges(unsigned changes, size_t max);

#endif  // CARDPREP_COPY_CARD_NAMES_H_
