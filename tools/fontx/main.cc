// cardprep-font: makes the card's two FONTX2 fonts from free 16-dot bitmap
// fonts, for anyone who has none of their own.
//
//   sources          parsed to glyphs by Unicode    built and written
//   unifont_jp.hex   ParseUnifontHex --+            +-- BuildZenkaku --> _FONT/RIZOZ16I.DAZ
//   shnmk16.bdf      ParseBdf ---------+-- first ---+    16 x 16, two-byte Shift-JIS codes
//   shnm8x16r.bdf    ParseBdf ---------+   wins     +-- BuildHankaku --> _FONT/MYRCH16B.FNT
//                                                        8 x 16, ASCII and half-width kana
//
// Every source is read before anything is written, so a malformed source
// leaves no half-made fonts behind.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "host/card_folder.h"
#include "host/console.h"
#include "host/folder.h"
#include "host/words.h"
#include "host/program.h"
#include "options/command_line.h"
#include "text/cp932.h"
#include "tools/fontx/bdf.h"
#include "tools/fontx/fontx_writer.h"
#include "tools/fontx/glyph_source.h"
#include "tools/fontx/unifont_hex.h"

namespace {

// The help, in the host's paths and words where fonts are found.
std::string Usage() {
  return std::string(
             "usage: cardprep-font -C DIR SOURCE...\n"
             "       cardprep-font [--zenkaku FILE] [--hankaku FILE] SOURCE...\n"
             "\n"
             "Builds the two FONTX2 fonts cardprep draws names with from 16-dot bitmap\n"
             "fonts: a 16 x 16 double-byte font with every two-byte Shift-JIS (code page\n"
             "932) character the sources have, and an 8 x 16 single-byte font with ASCII\n"
             "and half-width katakana. Several sources are merged: for each character the\n"
             "first source that has a glyph for it wins.\n"
             "\n") +
         FontSourcesHelp() +
         "\n"
         "options:\n"
         "  -C, --card DIR   write " + InFolder("DIR", "_FONT") + kHostSeparator +
         "RIZOZ16I.DAZ and " + InFolder("DIR", "_FONT") + kHostSeparator + "MYRCH16B.FNT,\n"
         "                   creating " + InFolder("DIR", "_FONT") + "\n"
         "  --zenkaku FILE   write the 16 x 16 double-byte font to FILE (instead)\n"
         "  --hankaku FILE   write the 8 x 16 single-byte font to FILE (instead)\n"
         "  -h, --help       show this help and exit\n"
         "  --version        show the version and exit\n"
         "\n" +
         FontExampleHelp() +
         "\n"
         "Exit status: 0 when the fonts are written, 1 when a source cannot be read\n"
         "(no font is written then), the card folder is not there or a font cannot be\n"
         "written, 2 for a bad command line.\n";
}

struct Options {
  std::string card;
  std::string zenkaku;
  std::string hankaku;
  std::vector<std::string> sources;
};

// False when the program is to end at once with |*status|.
bool ParseOptions(int argc, char** argv, Options* options, int* status) {
  CommandLine line;
  line.program = "cardprep-font";
  line.usage = Usage();
  line.operands = &options->sources;
  line.options = {
      TextOption("card", 'C', &options->card),
      TextOption("zenkaku", 0, &options->zenkaku),
      TextOption("hankaku", 0, &options->hankaku),
  };
  if (!ReadCommandLine(line, argc, argv, status)) return false;
  *status = kExitUsage;  // after any of the checks below
  if (options->sources.empty()) {
    Error("no source font given (see cardprep-font --help)");
    return false;
  }
  if (options->card.empty() && options->zenkaku.empty() && options->hankaku.empty()) {
    Error("nothing to write: give --card DIR, --zenkaku FILE or --hankaku FILE");
    return false;
  }
  return true;
}

// Whether the start of |text| holds bytes no text file holds: a sound, a
// picture, an archive given by mistake.
bool LooksBinary(const std::string& text) {
  const size_t n = std::min<size_t>(text.size(), 4096);
  for (size_t i = 0; i < n; ++i) {
    const auto b = static_cast<unsigned char>(text[i]);
    if (b < 0x20 && b != '\t' && b != '\n' && b != '\r' && b != '\f') return true;
  }
  return false;
}

// Reads one source, telling the kind by its first bytes.
bool ReadSource(const std::string& path, GlyphSource* source) {
  source->path = path;
  std::string text, error;
  if (!ReadSourceFile(path, &text, &error)) {
    Error("%s", error.c_str());
    return false;
  }
  if (text.compare(0, 4, "\1fcp") == 0) {
    Error("%s is a PCF font: convert it to BDF first with pcf2bdf -o FONT.bdf %s", path.c_str(),
          path.c_str());
    return false;
  }
  if (LooksBinary(text)) {
    Error("%s is not a font cardprep-font reads: it is neither a Unifont hex file nor a BDF "
          "font",
          path.c_str());
    return false;
  }
  const bool bdf = text.compare(0, 9, "STARTFONT") == 0 || text.compare(0, 7, "COMMENT") == 0;
  if (!(bdf ? ParseBdf(text, source, &error) : ParseUnifontHex(text, source, &error))) {
    Error("%s", error.c_str());
    return false;
  }
  Out("read %s: %zu glyphs (%s)", path.c_str(), source->read, source->kind.c_str());
  if (source->skipped > 0) {
    Out(", %zu not used (above U+FFFF or outside the numbering)", source->skipped);
  }
  Out("\n");
  return true;
}

int Main(int argc, char** argv) {
  // Started from the desktop, there is nothing to make fonts from: how to
  // run it is said instead of an error.
  if (argc == 1 && StartedFromDesktop()) {
    Out("cardprep-font makes a card's fonts from a font file; it runs in a Command Prompt.\n\n");
    Out("%s", Usage().c_str());
    return kExitUsage;
  }
  Options options;
  int status = kExitUsage;
  if (!ParseOptions(argc, argv, &options, &status)) return status;
  OpenCp932();
  // A card that is not there (a typo, a card not mounted) must not become a
  // folder on the computer's own disk.
  if (!options.card.empty() && KindOfPath(options.card) != PathKind::kFolder) {
    Error("the card folder %s does not exist (is the card %s?); nothing was written",
          options.card.c_str(), CardThereWord());
    return kExitFailure;
  }

  std::vector<GlyphSource> sources(options.sources.size());
  for (size_t i = 0; i < sources.size(); ++i) {
    if (!ReadSource(options.sources[i], &sources[i])) return kExitFailure;
  }

  if (!options.card.empty()) {
    const std::string folder = options.card + "/_FONT";
    std::string why;
    if (!MakeFolder(folder, &why)) {
      Error("cannot create %s: %s", folder.c_str(), why.c_str());
      return kExitFailure;
    }
    if (options.zenkaku.empty()) options.zenkaku = folder + "/RIZOZ16I.DAZ";
    if (options.hankaku.empty()) options.hankaku = folder + "/MYRCH16B.FNT";
  }

  bool ok = true;
  if (!options.zenkaku.empty()) {
    const ZenkakuFont font = BuildZenkaku(sources);
    if (font.codes == 0) {
      Warn("no source has a glyph for any two-byte Shift-JIS character: %s holds none; give a "
           "source with Japanese glyphs (GNU Unifont's unifont_jp)",
           options.zenkaku.c_str());
    } else if (font.japanese == 0) {
      Warn("no source has a glyph for any kana or kanji: %s holds only %zu double-byte codes, "
           "so Japanese names will be drawn without their characters; give a source with "
           "Japanese glyphs (GNU Unifont's unifont_jp)",
           options.zenkaku.c_str(), font.codes);
    }
    if (WriteZenkakuFile(options.zenkaku, font)) {
      Out("wrote %s: %zu double-byte codes in %zu blocks, %zu narrow glyphs centred",
          options.zenkaku.c_str(), font.codes, font.blocks.size(), font.narrow);
      if (font.fillers > 0) Out(", %zu blank codes filling holes", font.fillers);
      Out("\n");
    } else {
      ok = false;
    }
  }
  if (!options.hankaku.empty()) {
    const HankakuFont font = BuildHankaku(sources);
    if (font.ascii + font.katakana == 0) {
      Warn("no source has an 8-dot glyph for ASCII or half-width katakana: %s is blank; give a "
           "source with 8-dot glyphs (GNU Unifont has them)",
           options.hankaku.c_str());
    }
    if (WriteHankakuFile(options.hankaku, font)) {
      Out("wrote %s: %zu of 95 ASCII codes, %zu of 63 half-width katakana\n",
          options.hankaku.c_str(), font.ascii, font.katakana);
    } else {
      ok = false;
    }
  }
  return ok ? kExitSuccess : kExitFailure;
}

}  // namespace

int main(int argc, char** argv) {
  TakeHostArguments(&argc, &argv);
  return EndProgram(Main(argc, argv));
}
