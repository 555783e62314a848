#pragma once

#include "fileSystem.h"
#include "mpIndex.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <system_error>

namespace twinframe {

// How much of a file is read when it is opened. Cameras put the index right after the Exif
// segment (at most 64 KiB), so this almost always holds it; where a file's index may go on past
// it, the head is read on to kIndexReach. Reading little matters where each byte read is dear,
// as in the page, whose reads of the user's files run at a fraction of a disk's speed.
inline constexpr std::size_t kHeadFirstRead = 64 * 1024;

// The input file being split. It is read forward, one block at a time, as far as the scan
// needs it, and images reach their output files by an in-kernel copy from it: a batch never
// holds a whole file in memory, and the image bytes never pass through the program.
class FileBuffer {
  public:
    FileBuffer();
    ~FileBuffer();
    FileBuffer(const FileBuffer&) = delete;
    FileBuffer& operator=(const FileBuffer&) = delete;

    // Makes path the current input file. Refuses anything that is not a regular file (a fifo
    // put in a file's place must not hang the batch).
    std::error_code fill(const std::filesystem::path& path);
    void release();

    std::int64_t length() const { return length_; }
    // The input's permission bits, which its images get (less the umask): a private picture
    // stays private in its halves.
    std::filesystem::perms permissions() const { return permissions_; }

    // How much the scan reads at a time; the fuzzer makes it small so that short inputs cross
    // many block boundaries. At least 16 bytes.
    void setBlockSize(std::size_t bytes);
    std::size_t blockSize() const { return blockSize_; }
    // Trades everything with other: the open file, what was read of it and where the scan is.
    void swap(FileBuffer& other) noexcept;
    // The first four bytes, or all of them in a shorter file.
    std::span<const std::uint8_t> header() const {
        return head().first(std::min<std::size_t>(headLength_, 4));
    }
    // The start of the file as read so far: kHeadFirstRead bytes when the file is opened, all
    // of the first kIndexReach after extendHead(), or the whole of a shorter file. The index of a
    // standard MPO file lies there.
    std::span<const std::uint8_t> head() const { return {head_.get(), headLength_}; }
    // Whether head() holds all kIndexReach bytes the index is looked for in, or the whole file.
    bool headIsWhole() const;
    // Reads the rest of the first kIndexReach bytes into the head.
    std::error_code extendHead();
    // Whether the two bytes at offset are a start-of-image marker (FF D8). Reads them alone,
    // leaving the block where it is.
    bool startsImageAt(std::int64_t offset) const;

    // The smallest offset i >= from at which an image starts, or 0 when there is none. A read
    // failure, or the file turning out shorter than it was, ends the search with 0 and is kept
    // in readError().
    std::int64_t findImageStart(std::int64_t from);
    std::error_code readError() const { return readError_; }

    // Whether the image in bytes first to last (inclusive) of the file looks whole: a copy cut
    // short leaves its last image with a header segment running past the end, or with no end
    // marker (FF D9) after its compressed data. Reads the image's header and its tail; all of
    // it only when the tail holds no end marker. An image whose header cannot be walked (not a
    // camera's JPEG) passes: this only finds images cut short.
    bool imageLooksWhole(std::int64_t first, std::int64_t last);

    // Appends bytes first to first + count - 1 of the file to the open file output.
    std::error_code copyTo(NativeFile output, std::int64_t first, std::int64_t count);

  private:
    std::error_code loadHead(std::size_t upTo);
    std::error_code loadBlock(std::int64_t offset);
    std::error_code copyThroughBlock(NativeFile output, std::int64_t first, std::int64_t count);

    NativeFile file_ = kNoFile;
    std::int64_t length_ = 0;
    std::filesystem::perms permissions_ = std::filesystem::perms::unknown;
    std::unique_ptr<std::uint8_t[]> head_;
    std::size_t headLength_ = 0;
    std::unique_ptr<std::uint8_t[]> block_;
    const std::uint8_t* blockData_ = nullptr; // the block's bytes: in block_, or in place in head_
    std::size_t blockSize_;
    std::int64_t blockStart_ = 0;
    std::size_t blockLength_ = 0;
    std::error_code readError_;
};

extern FileBuffer fileBuffer;

// The smallest offset i with from <= i <= bytes.size() - 4 at which an image starts, or 0 when
// there is none. An image start is FF D8 FF followed by E0 (JFIF) or E1 (Exif). 0 is never a real
// answer for callers, who all search from offset 1 or later.
std::int64_t findImageStart(std::span<const std::uint8_t> bytes, std::int64_t from);

// The same search over the first fileLength bytes of the current input file.
std::int64_t findImageStart(std::int64_t from, std::int64_t fileLength);

// Writes bytes first to last (inclusive) of the current input file as the whole content of
// name, replacing any file of that name, with the input's permission bits less the umask. When
// last <= first nothing is written and no file is created. written (if given) receives the
// identity of the file written. Temporaries abandoned in name's folder by a killed run are
// removed first.
std::error_code saveChunk(std::int64_t first, std::int64_t last, const std::filesystem::path& name,
                          FileIdentity* written = nullptr);

// The same bytes written into a temporary beside name that stageFile keeps unnamed (see there):
// the split names all of a file's images only once every one of them is written.
std::error_code stageChunk(std::int64_t first, std::int64_t last, const std::filesystem::path& name,
                           bool holdOpen, StagedFile& staged, const PublishWatcher& watcher = {});

} // namespace twinframe
