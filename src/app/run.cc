#include "app/run.h"

#include "catalog/dir_info.h"
#include "catalog/dir_list.h"
#include "catalog/folder_scan.h"
#include "catalog/listing.h"
#include "catalog/sound_list.h"
#include "catalog/title_reader.h"
#include "font/fontx.h"
#include "host/console.h"
#include "host/file.h"
#include "host/process_pool.h"
#include "messages/message_file.h"
#include "playorder/random_order.h"

namespace {

bool OpenOutput(const char* name, OutFile* file) {
  std::string why;
  if (OpenWrite(std::string("./") + name, name, file, &why)) return true;
  Out("fopen error\n");
  Error("cannot create %s: %s", name, why.c_str());
  return false;
}

}  // namespace

bool MakeDirListFile(const ScanSettings& settings, SoundListFiles* files) {
  DirInfo* root = BuildCatalog(settings, files);
  StopTitleReader();

  NumberFolders(root);
  MakeRandomOrderFile(*root);

  Out("WriteDirStructureFileM\n");
  OutFile dir_list;
  if (!OpenOutput(kDirListFileName, &dir_list)) return false;
  WriteDirListHeader(&dir_list);
  WriteRootDirEntry(&dir_list, *root);
  WriteDirStructureFileM(&dir_list, u"", *root);
  CloseChecked(&dir_list);
  return true;
}

namespace {

void PrintSummary() {
  std::string skipped;
  for (const auto& [reason, count] : g_console.skipped) {
    skipped += (skipped.empty() ? "; skipped: " : ", ") + reason + ": " + std::to_string(count);
  }
  Summary("%u sounds in %u folders indexed%s; %u warnings, %u errors",
          g_catalog.counters.sound_index, g_catalog.counters.sound_folder_count, skipped.c_str(),
          g_console.warnings, g_console.errors);
}

void Run(const Args& args) {
  // The title readers start first: they are ready by the time the fonts
  // are loaded and the scan asks for titles.
  TitleReaderOptions titles;
  titles.jobs = args.jobs > 0 ? args.jobs : ProcessorCount();
  titles.base_timeout_ms = args.tag_timeout_ms;
  StartTitleReader(titles);
  InitFont();
  std::string why;
  if (!FolderWritable(".", &why)) {
    Error("cannot write to the card (%s): none of the index files can be written; "
          "mount it read-write or run cardprep where you may write",
          why.c_str());
  }
  ScanSettings settings;
  for (size_t i = 0; i < args.prefixes.size() && i < kMaxPrefixes; ++i) {
    settings.file_unit_prefixes.push_back(args.prefixes[i]);
  }
  SoundListFiles files;
  if (!OpenOutput(kSoundListFileName, &files.sound_list)) return;
  if (!OpenOutput(kListingFileName, &files.listing)) {
    CloseChecked(&files.sound_list);
    return;
  }
  MakeDirListFile(settings, &files);
  CloseChecked(&files.sound_list);
  CloseChecked(&files.listing);
  (void)WriteMessageFile();
  // The card may be pulled out as soon as the tool returns.
  SyncFolder(".");
}

}  // namespace

int RunCardprep(const Args& args) {
  Run(args);
  StopTitleReader();
  PrintSummary();
  fflush(stdout);
  return 0;
}
