#pragma once
// The platform's own steps of publishing a group of staged files. The order they run in, the
// part that keeps the promises (no name before its data is on the disk; the names of a group
// given together or taken back), is written once, in publishStaged (fileSystem.cpp).
#include "platform/fileSystem.h"

namespace twinframe::staging {

inline void tell(const PublishWatcher& watcher, PublishStep step,
                 const std::filesystem::path& path) {
    if (watcher)
        watcher(step, path);
}

// Why target cannot take a file, found before any file of the group is named.
std::error_code whyNotNameable(const std::filesystem::path& target, ExistingFile existing);
// Waits for the staged file's data to be on the disk.
std::error_code flushStagedData(const StagedFile& file);
// Gives the staged file its name, closing it.
std::error_code nameStaged(StagedFile& file, ExistingFile existing);
// Takes back a name given to a file of a group whose later file could not be named.
void removeName(const std::filesystem::path& target);

} // namespace twinframe::staging
