// What Emscripten 3.1.6 lacks of the C++20 library and of Linux's calls that the core uses. The
// page's build of the core includes this first (forced include, see CMakeLists.txt), so the core
// builds unchanged; each stand-in behaves as the core already expects where a system lacks the
// real thing.
#pragma once

#include <cerrno>
#include <cstddef>
#include <fcntl.h>
#include <memory>
#include <type_traits>

#if !defined(__cpp_lib_smart_ptr_for_overwrite)
namespace std {

// For buffers that are filled before they are read: plain new, without value-initialisation.
template <class T>
    requires is_unbounded_array_v<T>
unique_ptr<T> make_unique_for_overwrite(size_t size) {
    return unique_ptr<T>(new remove_extent_t<T>[size]);
}

template <class T>
    requires(!is_array_v<T>)
unique_ptr<T> make_unique_for_overwrite() {
    return unique_ptr<T>(new T);
}

} // namespace std
#endif

#if defined(__EMSCRIPTEN__) && !defined(RENAME_NOREPLACE)
// No renaming without replacing: the answer of a kernel without renameat2, which the core meets
// by linking or claiming the name instead.
#define RENAME_NOREPLACE (1 << 0)
inline int renameat2(int, const char*, int, const char*, unsigned int) {
    errno = ENOSYS;
    return -1;
}
#endif
