// Which system the programs are built for: the one place that asks the
// compiler. The rest of the host layer (and the tests) tests these names,
// never the compiler's own, and includes this header where it does. Each is
// 1 or 0, so they go with #if, never #ifdef:
//
//   CARDPREP_WINDOWS  Windows (MinGW-w64): the *_windows.cc files
//   CARDPREP_POSIX    a POSIX system: the *_posix.cc files
//   CARDPREP_LINUX    Linux, the POSIX system the *_linux.cc files are for
//
// Nothing above src/host tests them: what differs by system there is a host
// function (words.h, program.h).
#ifndef CARDPREP_HOST_PLATFORM_H_
#define CARDPREP_HOST_PLATFORM_H_

#if defined(_WIN32)
#define CARDPREP_WINDOWS 1
#define CARDPREP_POSIX 0
#else
#define CARDPREP_WINDOWS 0
#define CARDPREP_POSIX 1
#endif

#if defined(__linux__)
#define CARDPREP_LINUX 1
#else
#define CARDPREP_LINUX 0
#endif

// The format attribute of printf-like functions. MinGW's "printf" format
// means Microsoft's, which lacks %zu; the build for Windows prints with
// MinGW's own printf (__USE_MINGW_ANSI_STDIO, which the toolchain file
// sets), which has the formats of glibc's.
#if defined(__MINGW32__)
#define CARDPREP_PRINTF(f, a) __attribute__((format(gnu_printf, f, a)))
#else
#define CARDPREP_PRINTF(f, a) __attribute__((format(printf, f, a)))
#endif

#endif  // CARDPREP_HOST_PLATFORM_H_
