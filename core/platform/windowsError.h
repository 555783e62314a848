#pragma once

#include <system_error>

// Win32 error codes as std::error_code: their message is the system's own text (FormatMessageW,
// as UTF-8), and the usual ones compare equal to their std::errc, as errno values do on POSIX
// systems.

namespace twinframe {

const std::error_category& windowsCategory();

std::error_code windowsError(unsigned long code);

// The reason GetLastError gives for the last failed Win32 call.
std::error_code lastWindowsError();

} // namespace twinframe
