#pragma once

#include "MpoBuilder.h"
#include "platform/fileSystem.h"

#include <string>
#include <system_error>
#include <vector>

namespace twinframe::test {

using Names = std::vector<std::string>;

// Writes bytes, first noting what the folder holds while the content is being written.
inline std::error_code writeNoting(const std::filesystem::path& target, const Bytes& bytes,
                                   TemporaryKind kind, const TempDir& dir,
                                   Names& seenWhileWriting) {
    return writeFileAtomically(
        target,
        [&](NativeFile file) {
            seenWhileWriting = dir.names();
            return writeAll(file, bytes.data(), bytes.size());
        },
        nullptr, kind);
}

} // namespace twinframe::test
