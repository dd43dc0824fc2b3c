// The folder tree scan: lists the card from its root, depth first, and
// builds the catalog (dir_info.h) by the scan's rules (scan_rules.h): which
// folders and MP3 files are taken, in which order, within which limits,
// each named as the player shows it, with the counters the folder list
// needs. What it leaves out is said on standard error. As soon as a
// folder's sounds are taken their titles are asked for, so that they are
// read while the scan goes on.
#ifndef CARDPREP_CATALOG_FOLDER_SCAN_H_
#define CARDPREP_CATALOG_FOLDER_SCAN_H_

#include "catalog/dir_info.h"
#include "catalog/listing_ahead.h"
#include "catalog/scan_rules.h"
#include "report/run_report.h"
#include "titles/title_reader.h"

// Scans the card in the working folder into |catalog|, which starts empty
// (its counters may start elsewhere, as near a limit), asking |titles| for
// the titles of its sounds; then warns about prefixes that match no folder.
// The folders |ahead| (when not null) lists are taken from it. What it
// leaves out is counted in |report|, and a folder the card fails to deliver
// makes the run keep the card's index.
void ScanCard(const ScanSettings& settings, TitleReader* titles, ListingAhead* ahead,
              Catalog* catalog, RunReport* report);

#endif  // CARDPREP_CATALOG_FOLDER_SCAN_H_
