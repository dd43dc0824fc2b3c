#include "text/card_path.h"

#include "host/program.h"
#include "text/utf.h"

std::u16string ChildPath(std::u16string_view path, std::u16string_view name) {
  std::u16string child;
  child.reserve(path.size() + 1 + name.size());
  child += path;
  child += u'\\';
  child += name;
  return child;
}

std::string HostPath(std::u16string_view path) {
  if (!path.empty() && path.front() == u'\\') path.remove_prefix(1);
  std::string host = Utf16ToUtf8(path);
  for (char& ch : host) {
    if (ch == '\\') ch = '/';
  }
  return host.empty() ? std::string(".") : "./" + host;
}

std::string ShownPath(std::u16string_view path) {
  std::string shown = HostPath(path);
  if (shown == ".") return shown;
  shown.erase(0, 2);
  for (char& ch : shown) {
    if (ch == '/') ch = kHostSeparator;
  }
  return shown;
}

bool CardPathOfHost(std::string_view below_root, std::u16string* card_path) {
  std::u16string path;
  if (!Utf8ToUtf16(below_root, &path)) return false;
  for (char16_t& unit : path) {
    if (unit == u'/') unit = u'\\';
  }
  if (!path.empty() && path.front() != u'\\') path.insert(path.begin(), u'\\');
  *card_path = std::move(path);
  return true;
}
