#include "titles/code_page.h"

#include <uchardet.h>

#include <cstring>

#include "host/text.h"
#include "text/cp932.h"

namespace {

struct PageNames {
  CodePage page;
  const char* shown;
  uint32_t code_page;   // the host's decoder; 0: decoded without one here
  const char* decoder;  // its name in messages
  // Names a user may give --tag-charset, lower case, without separators.
  std::vector<const char*> typed;
};

const std::vector<PageNames>& Pages() {
  static const std::vector<PageNames> pages = {
      {CodePage::kLatin1, "Latin-1", 0, nullptr, {"latin1", "iso88591", "iso885915"}},
      {CodePage::kShiftJis, "Shift-JIS", 0, nullptr,
       {"cp932", "shiftjis", "sjis", "windows31j", "ms932", "windows932"}},
      {CodePage::kEucKr, "EUC-KR", kCodePageKorean, "CP949",
       {"euckr", "cp949", "uhc", "ms949", "windows949"}},
      {CodePage::kGbk, "GBK", kCodePageGb18030, "GB18030",
       {"gbk", "gb18030", "gb2312", "cp936", "ms936", "windows936", "euccn"}},
      {CodePage::kBig5, "Big5", kCodePageBig5, "CP950", {"big5", "cp950", "ms950", "windows950"}},
      {CodePage::kWindows1251, "Windows-1251", kCodePageCyrillic, "CP1251",
       {"cp1251", "windows1251", "win1251"}},
      {CodePage::kWindows1253, "Windows-1253", kCodePageGreek, "CP1253",
       {"cp1253", "windows1253", "win1253"}},
  };
  return pages;
}

const PageNames& NamesOf(CodePage page) { return Pages()[static_cast<size_t>(page)]; }

bool IsUserDefined(char16_t unit) { return unit >= 0xE000 && unit <= 0xF8FF; }

}  // namespace

const char kTagCharsetNames[] = "auto, latin1, cp932, euc-kr, gbk, big5, cp1251 or cp1253";

const char* CodePageName(CodePage page) { return NamesOf(page).shown; }
const char* DecoderName(CodePage page) {
  const char* name = NamesOf(page).decoder;
  return name != nullptr ? name : "";
}

bool ParseTagCharset(std::string_view name, TagCharset* charset) {
  std::string folded;
  for (char c : name) {
    if (c == '-' || c == '_' || c == ' ') continue;
    folded.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c);
  }
  if (folded == "auto") {
    *charset = TagCharset();
    return true;
  }
  for (const PageNames& p : Pages()) {
    for (const char* typed : p.typed) {
      if (folded == typed) {
        charset->automatic = false;
        charset->page = p.page;
        return true;
      }
    }
  }
  return false;
}

void DetectorDeleter::operator()(struct uchardet* detector) const { uchardet_delete(detector); }

bool OpenCodePageDecoder(CodePage page, CodePageDecoders* decoders, std::string* why) {
  const uint32_t code_page = NamesOf(page).code_page;
  if (code_page == 0) return true;
  TextDecoder decoder = OpenTextDecoder(code_page, why);
  if (decoder == nullptr) return false;
  decoders->from[static_cast<size_t>(page)] = std::move(decoder);
  return true;
}

bool OpenCodePageDetector(CodePageDecoders* decoders, std::string* why) {
  decoders->detector.reset(uchardet_new());
  if (decoders->detector == nullptr) *why = "out of memory";
  return decoders->detector != nullptr;
}

bool DecodeCodePage(CodePageDecoders* decoders, CodePage page, std::string_view bytes,
                    std::u16string* out) {
  void* cd = decoders->from[static_cast<size_t>(page)].get();
  if (page == CodePage::kShiftJis) {
    *out = Cp932ToWide(bytes);
  } else if (cd != nullptr) {
    *out = DecodeText(cd, bytes);
  } else {
    out->clear();
    for (char c : bytes) out->push_back(static_cast<char16_t>(static_cast<uint8_t>(c)));
    return page == CodePage::kLatin1;
  }
  // Shift-JIS keeps its user-defined characters: code page 932 stores them
  // back as the same bytes, for the user's own font.
  bool defined = true;
  for (char16_t& unit : *out) {
    if (IsUserDefined(unit)) {
      defined = false;
      if (page != CodePage::kShiftJis) unit = u'\xFFFD';
    }
    defined &= unit != u'\xFFFD';
  }
  return defined;
}

CodePage DetectCodePage(CodePageDecoders* decoders, const std::vector<std::string>& titles) {
  uchardet* detector = decoders->detector.get();
  if (detector == nullptr) return CodePage::kLatin1;
  // One call for all: each call costs the detector a pass over its probers.
  std::string text;
  for (const std::string& t : titles) text += t + '\n';
  uchardet_reset(detector);
  if (uchardet_handle_data(detector, text.data(), text.size()) != 0) return CodePage::kLatin1;
  uchardet_data_end(detector);
  const char* answer = uchardet_get_charset(detector);
  if (answer == nullptr) return CodePage::kLatin1;
  static const struct {
    const char* answer;
    CodePage page;
  } kAnswers[] = {
      {"SHIFT_JIS", CodePage::kShiftJis},       {"EUC-KR", CodePage::kEucKr},
      {"UHC", CodePage::kEucKr},                {"GB18030", CodePage::kGbk},
      {"BIG5", CodePage::kBig5},                {"WINDOWS-1251", CodePage::kWindows1251},
      {"MAC-CYRILLIC", CodePage::kWindows1251}, {"WINDOWS-1253", CodePage::kWindows1253},
      {"ISO-8859-7", CodePage::kWindows1253},
  };
  for (const auto& a : kAnswers) {
    if (strcmp(answer, a.answer) == 0) return a.page;
  }
  return CodePage::kLatin1;
}
