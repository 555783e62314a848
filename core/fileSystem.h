#pragma once

#include <compare>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <system_error>

namespace twinframe {

// Writes bytes as the whole content of target. They go to a fresh temporary file in the target's
// folder first, which is renamed over target only once it is completely written and closed. So a
// failure (disk full, a folder in the way) leaves no partial file and no temporary behind, and a
// file that already had the name is either untouched or wholly replaced.
std::error_code writeFileAtomically(const std::filesystem::path& target,
                                    std::span<const std::uint8_t> bytes);

// Which file a path names, whatever the spelling: two names are the same file exactly when their
// identities are equal (hard links, symbolic links, case-insensitive file systems).
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    auto operator<=>(const FileIdentity&) const = default;
};

// The identity of the file at path, following links; none when nothing is there.
std::optional<FileIdentity> identityOf(const std::filesystem::path& path);

} // namespace twinframe
