#pragma once

#include <cerrno>
#include <string>
#include <system_error>

namespace twinframe {

// The reason the last failed system call gave.
inline std::error_code lastSystemError() {
    return {errno, std::generic_category()};
}

// The one place a failure becomes the user's text: what we tried, on which file, and the
// system's own reason, e.g. "Cannot write DSCF0001-L.jpg: No space left on device".
std::string describeFailure(const std::string& action, const std::string& fileName,
                            std::error_code reason);

} // namespace twinframe

namespace twinframe {

// Reasons of our own, for refusals the system has no error number for.
enum class Refusal {
    notRegularFile = 1,
    hiddenFile,
    inputChanged,
};

const std::error_category& refusalCategory();

inline std::error_code make_error_code(Refusal r) {
    return {static_cast<int>(r), refusalCategory()};
}

} // namespace twinframe

template <> struct std::is_error_code_enum<twinframe::Refusal> : std::true_type {};
