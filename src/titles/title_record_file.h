// The title record on the card (title_record.h), read at the start of a run
// and written back once the index is in place. It lies in _CARDPREP, a
// folder the scan never enters. Whatever stands at its name may have been
// put there by anything: a link is never followed, for reading or writing,
// and a record that cannot be used only means that every title is read
// from its file. Nothing about it is ever an error: a run without it is
// slower, never worse.
#ifndef CARDPREP_TITLES_TITLE_RECORD_FILE_H_
#define CARDPREP_TITLES_TITLE_RECORD_FILE_H_

#include "host/file.h"
#include "host/file_stamp.h"
#include "titles/title_record.h"

// Reads the card's record into |*record|. False, |*record| empty, when the
// card has none (said nowhere) or it cannot be used (said in one warning
// naming it and why): damaged, of another version, not a regular file, or
// claiming a time later than its own file's or than now.
bool LoadTitleRecord(TitleRecord* record);

// Moves out of the way, with one warning each, what stands at the
// record's names and would keep every later run from writing a record:
// anything but a folder at _CARDPREP, a folder or a device at its record's
// name (anything else there is replaced by the next record). For a run
// that writes to the card, before LoadTitleRecord.
void TidyTitleRecord();

// The record a run writes. Its file is created aside at the start of the
// run, before any folder is listed: the file's time, taken on the card's
// clock as the card keeps it, is the record's time.
struct TitleRecordOutput {
  OutFile file;
  FileTime written;
  bool made_folder = false;  // _CARDPREP was made for it by this run
};

// Creates the record's file aside in _CARDPREP (made when missing), after
// removing what killed runs left there. False, with a warning, when it
// cannot: the run then writes no record.
bool OpenTitleRecord(TitleRecordOutput* out);

// Writes |record| with the time of |*out|, forces it to the card and puts
// it in place of the old one. A failure is a warning; the old record is
// then removed, since it may no longer match the card.
void WriteTitleRecord(TitleRecord record, TitleRecordOutput* out);

// Leaves the card's record as it is and removes the file |*out| opened: for
// a run that took every title from the record and found every sound it
// holds, whose record would say the same.
void KeepTitleRecord(TitleRecordOutput* out);

// Removes the file |*out| opened, and _CARDPREP when this run made it: for a
// run that leaves nothing on the card.
void DropTitleRecord(TitleRecordOutput* out);

#endif  // CARDPREP_TITLES_TITLE_RECORD_FILE_H_
