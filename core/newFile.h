#pragma once

#include "fileSystem.h"

#include <filesystem>
#include <functional>
#include <system_error>

namespace twinframe {

// Like writeFileAtomically, but never replaces anything: when target exists, or a file of that
// name appears while the content is being written, the result is file_exists and whatever holds
// the name is left as it was. The content is written to a file without a name in target's folder
// (or, where the file system cannot do that, a hidden temporary) and gets its name in one step
// that fails rather than replace, only once it is complete. A failure leaves nothing behind.
std::error_code writeNewFile(const std::filesystem::path& target,
                             const std::function<std::error_code(int fd)>& writeContent,
                             FileIdentity* written = nullptr);

// The way writeNewFile takes on file systems that cannot make a file without a name (FAT and
// exFAT memory cards among them): a hidden temporary beside target, renamed without replacing.
std::error_code
writeNewFileThroughTemporary(const std::filesystem::path& target,
                             const std::function<std::error_code(int fd)>& writeContent,
                             FileIdentity* written = nullptr);

} // namespace twinframe
