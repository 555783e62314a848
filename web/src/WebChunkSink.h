#pragma once

#include "split/ChunkSink.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

namespace twinframe {

// One output as the page makes it: bytes first to last (inclusive) of the listed input.
struct PlannedOutput {
    std::string input;
    std::string name;
    std::int64_t first = 0;
    std::int64_t last = 0;
};

// The page's side of saving: nothing is written here. The core decides the byte ranges, and the
// page cuts each output from the original file the user gave it, so image bytes are never
// copied into the program. Outputs have no file to tell them apart, so a name stands for one:
// names that differ only in letter case are the same output, as they would be once saved to a
// disk that ignores case, and the in-batch rule keeps the second from replacing the first.
class WebChunkSink : public ChunkSink {
  public:
    std::optional<FileIdentity> identityOf(const std::filesystem::path& target) override;
    std::error_code save(const std::string& input, std::int64_t first, std::int64_t last,
                         const std::filesystem::path& target, FileIdentity& written) override;

    // Each accepted output, in the order saved; the caller hands them on and may clear them.
    std::vector<PlannedOutput>& outputs() { return outputs_; }

  private:
    std::map<std::string, std::uint64_t> numbers_; // case-folded name -> pseudo inode
    std::vector<PlannedOutput> outputs_;
};

} // namespace twinframe
