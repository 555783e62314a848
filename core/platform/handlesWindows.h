#pragma once

// What the platform's own Windows files share: open files as handles, and the answers of Win32
// calls read the same way everywhere. Only the platform's Windows files include this.
#include "platform/fileSystem.h"

#include <windows.h>

#include <cstdint>

namespace twinframe::win32 {

inline HANDLE handleOf(NativeFile file) {
    return reinterpret_cast<HANDLE>(file);
}

inline NativeFile nativeFileOf(HANDLE handle) {
    return reinterpret_cast<NativeFile>(handle);
}

inline constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

inline FileIdentity identityFrom(const BY_HANDLE_FILE_INFORMATION& information) {
    return {information.dwVolumeSerialNumber,
            (static_cast<std::uint64_t>(information.nFileIndexHigh) << 32) |
                information.nFileIndexLow};
}

// Nothing has the name: "not found" of the file or of a folder on its way.
inline bool isMissing(DWORD code) {
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
}

} // namespace twinframe::win32
