#include "titles/title_wire.h"

#include "bytes/byte_order.h"

std::string EncodeTitleRequest(std::u16string_view folder, std::u16string_view name) {
  std::string out;
  out.reserve(8 + 2 * (folder.size() + name.size()));
  AppendUtf16(&out, folder);
  AppendUtf16(&out, name);
  return out;
}

bool DecodeTitleRequest(const std::string& bytes, std::u16string* folder, std::u16string* name) {
  // Paths and names are far shorter; a longer one is no request of ours.
  constexpr size_t kMaxRequestUnits = 1024;
  ByteReader in(bytes);
  *folder = in.Utf16(kMaxRequestUnits);
  *name = in.Utf16(kMaxRequestUnits);
  return in.AtEnd();
}

std::string EncodeTitleAnswer(const Title& title, bool opened, const std::string& why) {
  std::string out;
  AppendLe32(&out, static_cast<uint32_t>(title.Length()));
  out.push_back(opened ? 1 : 0);
  AppendLe32(&out, static_cast<uint32_t>(why.size()));
  out += why;
  AppendUtf16(&out, title.found ? std::u16string_view(title.text) : std::u16string_view());
  out.push_back(title.latin1 ? 1 : 0);
  return out;
}

bool DecodeTitleAnswer(const std::string& bytes, Title* title, bool* opened, std::string* why) {
  constexpr size_t kMaxReasonBytes = 1024;
  ByteReader in(bytes);
  const auto length = static_cast<int32_t>(in.Le32());
  *opened = in.U8() != 0;
  *why = in.Counted(kMaxReasonBytes);
  title->text = in.Utf16(kMaxTitleLength);
  title->latin1 = in.U8() != 0;
  title->found = length >= 0;
  return in.AtEnd() && length >= -1 && length <= kMaxTitleLength &&
         (length < 0 || static_cast<size_t>(length) == title->text.size());
}
