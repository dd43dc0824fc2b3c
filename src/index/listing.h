// TAGINF16.TXT, the listing for people: Shift-JIS text whose lines end in
// CR LF. The sound list writer writes it, a line per sound, beside the sound
// records (sound_list.h); every name or title that had to be changed to fit
// code page 932 is noted by a line "cannot convert " before the line that
// shows it. Here are its name and that note, which the viewer reads too.
#ifndef CARDPREP_INDEX_LISTING_H_
#define CARDPREP_INDEX_LISTING_H_

constexpr char kListingFileName[] = "TAGINF16.TXT";

// The line that notes a changed name or title.
constexpr char kCannotConvertNote[] = "cannot convert ";

#endif  // CARDPREP_INDEX_LISTING_H_
