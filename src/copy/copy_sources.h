// What a copy takes from its sources: each SOURCE argument, a folder or a
// file, listed whole before anything is written, with the audio files it
// holds (MP3 files to copy as they are, and FLAC, AAC and ALAC in .m4a,
// Ogg Vorbis, Opus, WMA and WAV files to encode) and a count of the rest
// (covers, playlists, text), which are not copied.
#ifndef CARDPREP_COPY_COPY_SOURCES_H_
#define CARDPREP_COPY_COPY_SOURCES_H_

#include <string>
#include <string_view>
#include <vector>

#include "copy/copy_plan.h"

enum class AudioType {
  kMp3,        // copied as it is
  kDecodable,  // decoded and encoded
  kProtected,  // .m4p: encrypted, never decodable
  kOther,      // no audio the copy takes
};
// The type of a file by its name's extension, in any case.
AudioType AudioTypeOf(std::u16string_view name);

// What the listing passed over.
struct SourceTally {
  unsigned others = 0;     // files that are no audio the copy takes
  unsigned protected_files = 0;
  unsigned unreadable = 0; // names not UTF-8, folders that could not be listed, links to folders
};

// Lists every source (an absolute host path, and the argument as given for
// messages) into the folders and files of |*sources|. Says each problem
// with an entry on the way as a warning, and counts it in |*tally|. False,
// after an error line, when a source itself cannot be taken: it does not
// exist, cannot be read, is a file that holds no audio the copy takes, or
// names the root of a file system; nothing should then be copied.
bool ListSources(const std::vector<std::string>& absolute, const std::vector<std::string>& given,
                 SourceFolder* sources, SourceTally* tally);

// The folder a source lies in (for a file) or is (for a folder).
std::string SourceFolderOf(const std::string& absolute);

#endif  // CARDPREP_COPY_COPY_SOURCES_H_
