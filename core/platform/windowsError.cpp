#include "platform/windowsError.h"

#include "platform/utf16.h"

#include <windows.h>

namespace twinframe {

namespace {

std::string systemText(DWORD code) {
    wchar_t* text = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = length > 0 ? std::wstring(text, length) : std::wstring();
    if (text != nullptr)
        ::LocalFree(text);
    // The system's texts end in a line break, which the user's one-line messages cannot carry.
    while (!message.empty() &&
           (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' '))
        message.pop_back();
    if (message.empty())
        return "Error " + std::to_string(code);
    return utf8FromUtf16(message);
}

std::errc portableCondition(DWORD code, bool& known) {
    known = true;
    switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
        return std::errc::no_such_file_or_directory;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return std::errc::file_exists;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
        return std::errc::permission_denied;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return std::errc::device_or_resource_busy;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return std::errc::no_space_on_device;
    case ERROR_DIRECTORY:
        return std::errc::not_a_directory;
    case ERROR_NOT_SUPPORTED:
    case ERROR_INVALID_FUNCTION:
        return std::errc::not_supported;
    case ERROR_NOT_SAME_DEVICE:
        return std::errc::cross_device_link;
    case ERROR_INVALID_PARAMETER:
        return std::errc::invalid_argument;
    case ERROR_FILENAME_EXCED_RANGE:
        return std::errc::filename_too_long;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return std::errc::not_enough_memory;
    default:
        known = false;
        return {};
    }
}

class WindowsCategory : public std::error_category {
  public:
    const char* name() const noexcept override { return "windows"; }
    std::string message(int value) const override { return systemText(static_cast<DWORD>(value)); }
    std::error_condition default_error_condition(int value) const noexcept override {
        bool known = false;
        const std::errc condition = portableCondition(static_cast<DWORD>(value), known);
        if (known)
            return std::make_error_condition(condition);
        return {value, *this};
    }
};

} // namespace

const std::error_category& windowsCategory() {
    static const WindowsCategory category;
    return category;
}

std::error_code windowsError(unsigned long code) {
    return {static_cast<int>(code), windowsCategory()};
}

std::error_code lastWindowsError() {
    return windowsError(::GetLastError());
}

} // namespace twinframe
