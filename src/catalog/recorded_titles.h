// The title record of a catalog: what a run keeps on the card of the titles
// it listed, so that the next run need not read the files again that are
// unchanged by then (titles/title_record.h). It holds the sounds of this
// run only, so it never names a file the card no longer has.
#ifndef CARDPREP_CATALOG_RECORDED_TITLES_H_
#define CARDPREP_CATALOG_RECORDED_TITLES_H_

#include "catalog/dir_info.h"
#include "titles/title_record.h"

// Every sound of |catalog| whose file the listing stamped and whose title
// was read (from the file or the record), by folder; sounds whose file
// could not be read are left out, to be read again next run. The names and
// titles are moved out of the catalog, which is done with by then.
TitleRecord TakeTitleRecord(Catalog* catalog);

// How many sounds TakeTitleRecord would record, the catalog left as it is.
size_t RecordableSoundCount(const Catalog& catalog);

#endif  // CARDPREP_CATALOG_RECORDED_TITLES_H_
