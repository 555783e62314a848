// What the file layer does the same on every platform.
#include "fileSystem.h"

namespace twinframe {

std::unique_ptr<std::uint8_t[]> uninitialisedBuffer(std::size_t size) {
#if defined(__cpp_lib_smart_ptr_for_overwrite)
    return std::make_unique_for_overwrite<std::uint8_t[]>(size);
#else
    return std::unique_ptr<std::uint8_t[]>(new std::uint8_t[size]);
#endif
}

} // namespace twinframe
