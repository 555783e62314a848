#pragma once

// The system's own words for a reason, as messages quote them: strerror's on POSIX systems,
// FormatMessage's on Windows.
#include <string>
#include <system_error>

#ifdef _WIN32
#include "platform/windowsError.h"
#endif

namespace twinframe::test {

inline std::string missingFileText() {
#ifdef _WIN32
    return windowsError(2).message(); // ERROR_FILE_NOT_FOUND
#else
    return std::make_error_code(std::errc::no_such_file_or_directory).message();
#endif
}

} // namespace twinframe::test
