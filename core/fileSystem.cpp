// What the file layer does the same on every platform.
#include "fileSystem.h"

namespace twinframe {

std::string utf8Text(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

std::filesystem::path pathFromUtf8(const std::string& text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

std::unique_ptr<std::uint8_t[]> uninitialisedBuffer(std::size_t size) {
#if defined(__cpp_lib_smart_ptr_for_overwrite)
    return std::make_unique_for_overwrite<std::uint8_t[]>(size);
#else
    return std::unique_ptr<std::uint8_t[]>(new std::uint8_t[size]);
#endif
}

} // namespace twinframe
