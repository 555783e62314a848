// What Emscripten 3.1.6 lacks of Linux's calls that the core uses. The page's build of the core
// includes this first (forced include, see CMakeLists.txt), so the core builds unchanged; the
// stand-in behaves as the core already expects where a system lacks the real thing.
#pragma once

#include <cerrno>
#include <fcntl.h>

#if defined(__EMSCRIPTEN__) && !defined(RENAME_NOREPLACE)
// No renaming without replacing: the answer of a kernel without renameat2, which the core meets
// by linking or claiming the name instead.
#define RENAME_NOREPLACE (1 << 0)
inline int renameat2(int, const char*, int, const char*, unsigned int) {
    errno = ENOSYS;
    return -1;
}
#endif
