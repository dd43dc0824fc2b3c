#include "copy/id3_tag.h"

#include "bytes/byte_order.h"
#include "text/utf.h"

namespace {

constexpr uint8_t kUtf16WithBom = 1;
constexpr size_t kMaxTagSize = (1u << 28) - 1;  // what a syncsafe size holds

void AppendBe32(std::string* out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out->push_back(static_cast<char>(v >> shift));
}

// |utf8| as UTF-16, its bytes read as Latin-1 when they are not UTF-8.
std::u16string Decode(std::string_view utf8) {
  std::u16string text;
  if (Utf8ToUtf16(utf8, &text)) return text;
  text.clear();
  for (const char c : utf8) text.push_back(static_cast<char16_t>(static_cast<uint8_t>(c)));
  return text;
}

std::u16string CleanText(std::string_view utf8) {
  std::u16string text = Decode(utf8);
  for (char16_t& unit : text) {
    if (unit < 0x20 || unit == 0x7F) unit = u' ';
  }
  const size_t first = text.find_first_not_of(u' ');
  if (first == std::u16string::npos) return u"";
  return text.substr(first, text.find_last_not_of(u' ') - first + 1);
}

// "3", "3/12" from "03", " 3 / 12", "3/12 (bonus)"; empty when it begins
// with no number.
std::u16string CleanNumber(std::string_view text) {
  std::u16string out;
  size_t i = 0;
  auto digits = [&] {
    std::u16string number;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
      number.push_back(static_cast<char16_t>(text[i++]));
    }
    if (number.empty()) return false;
    const size_t first = number.find_first_not_of(u'0');
    out += first == std::u16string::npos ? u"0" : number.substr(first);
    return true;
  };
  auto spaces = [&] {
    while (i < text.size() && text[i] == ' ') ++i;
  };
  spaces();
  if (!digits()) return u"";
  spaces();
  if (i < text.size() && text[i] == '/') {
    ++i;
    spaces();
    const std::u16string before = out;
    out.push_back(u'/');
    if (!digits()) out = before;
  }
  return out;
}

void AppendFrame(std::string* tag, const char (&id)[5], std::string_view body) {
  tag->append(id, 4);
  AppendBe32(tag, static_cast<uint32_t>(body.size()));
  tag->append(2, '\0');
  tag->append(body);
}

void AppendTextFrame(std::string* tag, const char (&id)[5], std::u16string_view text) {
  if (text.empty()) return;
  std::string body;
  body.push_back(static_cast<char>(kUtf16WithBom));
  body.push_back('\xFF');
  body.push_back('\xFE');
  for (const char16_t unit : text) {
    body.push_back(static_cast<char>(unit & 0xFF));
    body.push_back(static_cast<char>(unit >> 8));
  }
  AppendFrame(tag, id, body);
}

}  // namespace

std::string BuildId3Tag(const AudioTags& tags, std::string_view origin) {
  std::string tag(kId3HeaderSize, '\0');
  AppendTextFrame(&tag, "TIT2", CleanText(tags.title));
  AppendTextFrame(&tag, "TPE1", CleanText(tags.artist));
  AppendTextFrame(&tag, "TALB", CleanText(tags.album));
  AppendTextFrame(&tag, "TRCK", CleanNumber(tags.track));
  AppendTextFrame(&tag, "TPOS", CleanNumber(tags.disc));
  if (!origin.empty()) {
    std::string body(kOriginOwner, sizeof kOriginOwner);  // with its NUL
    body.append(origin);
    AppendFrame(&tag, "PRIV", body);
  }
  tag[0] = 'I';
  tag[1] = 'D';
  tag[2] = '3';
  tag[3] = 3;  // version 2.3.0
  tag[4] = 0;
  tag[5] = 0;  // flags
  PutSyncsafe32(reinterpret_cast<uint8_t*>(&tag[6]),
                static_cast<uint32_t>(tag.size() - kId3HeaderSize));
  return tag;
}

size_t Id3TagSize(std::string_view header) {
  if (header.size() < kId3HeaderSize || header.substr(0, 3) != "ID3") return 0;
  const uint8_t* p = Bytes(header.data());
  if ((p[6] | p[7] | p[8] | p[9]) & 0x80) return 0;
  return kId3HeaderSize + GetSyncsafe32(p + 6);
}

bool FindOrigin(std::string_view bytes, std::string* origin) {
  const size_t size = Id3TagSize(bytes);
  if (size == 0 || size > bytes.size() || size > kMaxTagSize + kId3HeaderSize) return false;
  const uint8_t* tag = Bytes(bytes.data());
  const uint8_t version = tag[3];
  const uint8_t flags = tag[5];
  // Unsynchronised or with an extended header: never how this tool wrote it.
  if ((version != 3 && version != 4) || (flags & 0xC0) != 0) return false;
  const std::string_view owner(kOriginOwner, sizeof kOriginOwner);  // with its NUL
  size_t at = kId3HeaderSize;
  while (at + kId3FrameHeaderSize <= size) {
    const uint8_t* frame = tag + at;
    if (frame[0] == 0) break;  // padding
    const uint32_t body = version == 4 ? GetSyncsafe32(frame + 4) : GetBe32(frame + 4);
    if (body > size - at - kId3FrameHeaderSize) return false;
    const std::string_view content = bytes.substr(at + kId3FrameHeaderSize, body);
    if (std::string_view(bytes.data() + at, 4) == "PRIV" && content.substr(0, owner.size()) == owner) {
      *origin = std::string(content.substr(owner.size()));
      return true;
    }
    at += kId3FrameHeaderSize + body;
  }
  return false;
}
