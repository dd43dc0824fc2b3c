// What the Windows files of the host layer share: UTF-8 inside the
// program, UTF-16 at the system's calls, and paths the system takes at any
// length (\\?\).
#ifndef CARDPREP_HOST_WIN32_H_
#define CARDPREP_HOST_WIN32_H_

#include <windows.h>

#include <string>
#include <string_view>

std::wstring WideFromUtf8(std::string_view text);
std::string Utf8FromWide(std::wstring_view text);
// |path| ("./A/B", "E:\\Music", "NUL") as a full wide path, "\\?\" before
// it where it names a drive's or a share's file.
std::wstring WidePath(const std::string& path);
// The handle behind a C runtime descriptor, and a descriptor owning |handle|.
HANDLE HandleOf(int fd);
int DescriptorOf(HANDLE handle, int flags);

#endif  // CARDPREP_HOST_WIN32_H_
