#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <system_error>

namespace twinframe {

// The bytes of the input file being split, indexed so that index k is file offset k.
// One buffer serves the whole program; it is refilled for each input file and keeps its
// allocation when the next file fits, so a batch of similar files allocates once.
class FileBuffer {
  public:
    // Replaces the content with the whole of the file at path. Refuses anything that is not a
    // regular file (a fifo put in a file's place must not hang the batch).
    std::error_code fill(const std::filesystem::path& path);

    std::span<const std::uint8_t> bytes() const { return {storage_.get(), length_}; }
    std::int64_t length() const { return static_cast<std::int64_t>(length_); }

  private:
    std::unique_ptr<std::uint8_t[]> storage_;
    std::size_t capacity_ = 0;
    std::size_t length_ = 0;
};

extern FileBuffer fileBuffer;

// The smallest offset i with from <= i <= bytes.size() - 4 at which an image starts, or 0 when
// there is none. An image start is FF D8 FF followed by E0 (JFIF) or E1 (Exif). 0 is never a real
// answer for callers, who all search from offset 1 or later.
std::int64_t findImageStart(std::span<const std::uint8_t> bytes, std::int64_t from);

// The same search over the first fileLength bytes of fileBuffer.
std::int64_t findImageStart(std::int64_t from, std::int64_t fileLength);

// Writes bytes first to last (inclusive) of fileBuffer as the whole content of name, replacing
// any file of that name. When last <= first nothing is written and no file is created.
std::error_code saveChunk(std::int64_t first, std::int64_t last, const std::filesystem::path& name);

} // namespace twinframe
