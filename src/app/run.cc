#include "app/run.h"

#include "catalog/dir_info.h"
#include "catalog/folder_scan.h"
#include "font/fontx.h"
#include "host/console.h"
#include "sjis/listing.h"
#include "sjis/sjis_field.h"

namespace {

bool OpenOutput(const char* name, OutFile* file) {
  std::string why;
  if (OpenWrite(std::string("./") + name, name, file, &why)) return true;
  Out("fopen error\n");
  Error("cannot create %s: %s", name, why.c_str());
  return false;
}

}  // namespace

bool MakeDirListFile() {
  g_catalog.sound_index = 0;
  g_catalog.random_entry_count = 0;
  g_catalog.root = std::make_unique<DirInfo>();
  DirInfo* root = g_catalog.root.get();
  WideToSjisField(root->sjis_name, sizeof root->sjis_name, u"");
  ScanFolder(u"", root);
  GetSubDirInfo(u"", root);
  return true;
}

int RunCardprep(const Args& args) {
  InitFont();
  for (size_t i = 0; i < args.prefixes.size() && i < kMaxPrefixes; ++i) {
    g_catalog.file_unit_prefixes.push_back(args.prefixes[i]);
  }
  if (!OpenOutput(kSoundListFileName, &g_catalog.sound_list)) return 0;
  std::string why;
  if (!OpenListing(&why)) {
    Out("fopen error\n");
    Error("cannot create %s: %s", kListingFileName, why.c_str());
    CloseChecked(&g_catalog.sound_list);
    return 0;
  }
  MakeDirListFile();
  CloseChecked(&g_catalog.sound_list);
  CloseListing();
  return 0;
}
