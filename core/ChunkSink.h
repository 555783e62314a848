#pragma once

#include "fileSystem.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

namespace twinframe {

// Where a batch's images go. On the desktop they are files beside their input; a front end that
// cannot or need not write files (a web page cutting outputs from the original file) supplies its
// own sink, and the batch's rules, texts and counts stay the same.
class ChunkSink {
  public:
    virtual ~ChunkSink() = default;

    // Which output, if any, has the name target now: the batch uses it never to overwrite an
    // image it wrote earlier from another file.
    virtual std::optional<FileIdentity> identityOf(const std::filesystem::path& target) = 0;

    // Makes bytes first to last (inclusive, first < last) of the current input, listed as input,
    // the whole content of target; written receives the identity of what was written.
    virtual std::error_code save(const std::string& input, std::int64_t first, std::int64_t last,
                                 const std::filesystem::path& target, FileIdentity& written) = 0;

    // The own name (leaf) of a regular file that is already where target would go, in the spelling
    // the folder holds it (DSCF0001.JPG where the file system ignores case and target ends in
    // .jpg); none when nothing is there. A sink that writes no files finds nothing. A path, as the
    // folder gave it: on Windows a name as text would have to pass through a conversion again.
    virtual std::optional<std::filesystem::path> existingName(const std::filesystem::path& target);
};

// The desktop's sink: saveChunk into files.
ChunkSink& fileChunkSink();

} // namespace twinframe
