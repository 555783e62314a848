#pragma once

#include <compare>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <system_error>

namespace twinframe {

// Which file a path names, whatever the spelling: two names are the same file exactly when their
// identities are equal (hard links, symbolic links, case-insensitive file systems).
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    auto operator<=>(const FileIdentity&) const = default;
};

// The identity of the file at path, following links; none when nothing is there.
// Writes what writeContent puts into the open file descriptor it is given as the whole content
// of target. It goes to a fresh temporary file in the target's folder first, which is renamed
// over target only once it is completely written and closed. So a failure (disk full, a folder
// in the way) leaves no partial file and no temporary behind, and a file that already had the
// name is either untouched or wholly replaced. On success, written (if given) receives the
// identity of the new file.
std::error_code writeFileAtomically(const std::filesystem::path& target,
                                    const std::function<std::error_code(int fd)>& writeContent,
                                    FileIdentity* written = nullptr);

std::optional<FileIdentity> identityOf(const std::filesystem::path& path);

} // namespace twinframe
