#include "saveChunkCode.h"

#include "failure.h"
#include "fileSystem.h"
#include "jpegSegments.h"
#include "scanSignature.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace twinframe {

FileBuffer fileBuffer;

namespace {

// Small enough to stay in the processor's cache while it is scanned.
constexpr std::size_t kDefaultBlockSize = 256 * 1024;

} // namespace

FileBuffer::FileBuffer()
    : head_(uninitialisedBuffer(kIndexReach)), block_(uninitialisedBuffer(kDefaultBlockSize)),
      blockSize_(kDefaultBlockSize) {}

void FileBuffer::setBlockSize(std::size_t bytes) {
    blockSize_ = std::max<std::size_t>(bytes, 16);
    block_ = uninitialisedBuffer(blockSize_);
    blockLength_ = 0;
}

void FileBuffer::swap(FileBuffer& other) noexcept {
    std::swap(file_, other.file_);
    std::swap(length_, other.length_);
    std::swap(permissions_, other.permissions_);
    std::swap(head_, other.head_);
    std::swap(headLength_, other.headLength_);
    std::swap(block_, other.block_);
    std::swap(blockData_, other.blockData_); // points into head_ or block_, which move with it
    std::swap(blockSize_, other.blockSize_);
    std::swap(blockStart_, other.blockStart_);
    std::swap(blockLength_, other.blockLength_);
    std::swap(readError_, other.readError_);
}

FileBuffer::~FileBuffer() {
    release();
}

void FileBuffer::release() {
    closeFile(file_);
    file_ = kNoFile;
    length_ = 0;
    permissions_ = std::filesystem::perms::unknown;
    headLength_ = 0;
    blockStart_ = 0;
    blockLength_ = 0;
    readError_.clear();
}

std::error_code FileBuffer::fill(const std::filesystem::path& path) {
    release();
    std::error_code error = openForReading(path, file_, length_);
    if (!error) {
        permissions_ = permissionsOf(file_);
        error = loadHead(kHeadFirstRead);
    }
    if (error)
        release();
    return error;
}

// The head is read apart from the scan's block: a file with a sound index needs nothing else
// before its images are copied, and the scan's block size (small in the fuzzer) never changes
// how far the index is looked for. Reads on from what the head holds up to upTo bytes.
std::error_code FileBuffer::loadHead(std::size_t upTo) {
    const auto wanted =
        static_cast<std::size_t>(std::min<std::int64_t>(static_cast<std::int64_t>(upTo), length_));
    if (wanted <= headLength_)
        return {};
    std::size_t got = 0;
    if (const std::error_code error = readAt(file_, head_.get() + headLength_, wanted - headLength_,
                                             static_cast<std::int64_t>(headLength_), got))
        return error;
    headLength_ += got;
    if (headLength_ < wanted)
        return make_error_code(Refusal::inputChanged);
    return {};
}

bool FileBuffer::headIsWhole() const {
    return static_cast<std::int64_t>(headLength_) >= std::min<std::int64_t>(kIndexReach, length_);
}

std::error_code FileBuffer::extendHead() {
    return loadHead(kIndexReach);
}

bool FileBuffer::startsImageAt(std::int64_t offset) const {
    std::uint8_t marker[2];
    std::size_t got = 0;
    if (file_ == kNoFile || offset < 0 || readAt(file_, marker, sizeof marker, offset, got))
        return false;
    return got == sizeof marker && marker[0] == 0xFF && marker[1] == 0xD8;
}

std::error_code FileBuffer::loadBlock(std::int64_t offset) {
    const auto wanted = static_cast<std::size_t>(
        std::min<std::int64_t>(static_cast<std::int64_t>(blockSize_), length_ - offset));
    blockStart_ = offset;
    blockLength_ = 0;
    // The scan begins inside the head read when the file was opened: it scans the head in place,
    // as a shorter block if need be (at least 16 bytes, so that every block moves the scan on).
    const auto headLength = static_cast<std::int64_t>(headLength_);
    if (offset >= 0 && offset + 16 <= headLength) {
        blockLength_ = std::min(wanted, static_cast<std::size_t>(headLength - offset));
        blockData_ = head_.get() + offset;
        return {};
    }
    blockData_ = block_.get();
    if (const std::error_code error = readAt(file_, block_.get(), wanted, offset, blockLength_))
        return error;
    if (blockLength_ < wanted)
        return make_error_code(Refusal::inputChanged);
    return {};
}

std::int64_t FileBuffer::findImageStart(std::int64_t from) {
    from = std::max<std::int64_t>(from, 0);
    while (from + 4 <= length_) {
        const std::int64_t blockEnd = blockStart_ + static_cast<std::int64_t>(blockLength_);
        if (from < blockStart_ || from + 4 > blockEnd) {
            if (const std::error_code error = loadBlock(from)) {
                readError_ = error;
                return 0;
            }
            continue;
        }
        const auto offset = static_cast<std::size_t>(from - blockStart_);
        const std::size_t found = scanSignature(blockData_ + offset, blockLength_ - offset);
        if (found < blockLength_ - offset)
            return from + static_cast<std::int64_t>(found);
        if (blockEnd >= length_)
            return 0;
        // The next block starts three bytes back, so a signature across the boundary is seen.
        from = blockEnd - 3;
    }
    return 0;
}

namespace {

// Whether bytes end with an end-of-image marker, after any zero bytes a camera pads with.
bool endsWithEndMarker(std::span<const std::uint8_t> bytes) {
    std::size_t end = bytes.size();
    while (end > 0 && bytes[end - 1] == 0x00)
        --end;
    return end >= 2 && bytes[end - 2] == 0xFF && bytes[end - 1] == 0xD9;
}

// Whether a header walk that ran out of bytes did so because a segment runs past them (a cut),
// rather than because of a length no segment can have.
bool segmentRunsPast(std::span<const std::uint8_t> bytes, std::size_t at) {
    if (at + 3 >= bytes.size())
        return true;
    const std::size_t length = std::size_t{bytes[at + 2]} << 8 | bytes[at + 3];
    return length >= 2;
}

} // namespace

bool FileBuffer::imageLooksWhole(std::int64_t first, std::int64_t last) {
    const std::int64_t length = last - first + 1;
    if (file_ == kNoFile || first < 0 || length < 4)
        return true;
    // The header: cameras keep it within the first 64 KiB; read on only while it goes on.
    std::vector<std::uint8_t> header;
    SegmentWalk walk;
    for (std::int64_t window = kHeadFirstRead;; window *= 4) {
        header.resize(static_cast<std::size_t>(std::min(window, length)));
        std::size_t got = 0;
        if (readAt(file_, header.data(), header.size(), first, got) || got < header.size())
            return true; // a read failure is told where the bytes are copied
        walk = walkSegments(header, [](const JpegSegment&) { return true; });
        if (walk.end != SegmentWalkEnd::pastEnd || window >= length)
            break;
    }
    const std::span<const std::uint8_t> bytes(header);
    if (walk.end == SegmentWalkEnd::pastEnd)
        return !segmentRunsPast(bytes, walk.offset) || endsWithEndMarker(bytes);
    if (walk.end != SegmentWalkEnd::startOfScan)
        return true;
    // The compressed data holds no FF D9 (an FF there is followed by 00 or a restart marker),
    // so an end marker after the first scan is the image's own. Looked for from the end back.
    const std::int64_t dataStart = first + static_cast<std::int64_t>(walk.offset) + 2;
    constexpr std::int64_t kTailBlock = 16 * 1024;
    std::vector<std::uint8_t> block(kTailBlock + 1);
    for (std::int64_t end = last + 1; end > dataStart;) {
        const std::int64_t from = std::max(dataStart, end - kTailBlock);
        // One byte more than the block, so a marker across two blocks is seen.
        const auto size = static_cast<std::size_t>(std::min(end + 1, last + 1) - from);
        std::size_t got = 0;
        if (readAt(file_, block.data(), size, from, got) || got < size)
            return true;
        for (std::size_t i = size - 1; i > 0; --i)
            if (block[i - 1] == 0xFF && block[i] == 0xD9)
                return true;
        end = from;
    }
    return false;
}

std::error_code FileBuffer::copyTo(NativeFile output, std::int64_t first, std::int64_t count) {
    const std::error_code error = copyInKernel(file_, first, output, count);
    if (error == std::errc::not_supported)
        return copyThroughBlock(output, first, count);
    return error;
}

std::error_code FileBuffer::copyThroughBlock(NativeFile output, std::int64_t first,
                                             std::int64_t count) {
    blockLength_ = 0; // the block is reused for the copy; the scan reloads what it needs
    while (count > 0) {
        const auto wanted = static_cast<std::size_t>(
            std::min<std::int64_t>(count, static_cast<std::int64_t>(blockSize_)));
        std::size_t got = 0;
        if (const std::error_code error = readAt(file_, block_.get(), wanted, first, got))
            return error;
        if (got < wanted)
            return make_error_code(Refusal::inputChanged);
        if (const std::error_code error = writeAll(output, block_.get(), got))
            return error;
        first += static_cast<std::int64_t>(got);
        count -= static_cast<std::int64_t>(got);
    }
    return {};
}

std::int64_t findImageStart(std::span<const std::uint8_t> bytes, std::int64_t from) {
    const auto length = static_cast<std::int64_t>(bytes.size());
    from = std::max<std::int64_t>(from, 0);
    if (from + 4 > length)
        return 0;
    const auto offset = static_cast<std::size_t>(from);
    const std::size_t found = scanSignature(bytes.data() + offset, bytes.size() - offset);
    return found < bytes.size() - offset ? from + static_cast<std::int64_t>(found) : 0;
}

std::int64_t findImageStart(std::int64_t from, std::int64_t fileLength) {
    if (fileLength < fileBuffer.length()) {
        // Only a caller that asks for less than the whole file gets here; keep to its length.
        const std::int64_t found = fileBuffer.findImageStart(from);
        return found + 4 <= fileLength ? found : 0;
    }
    return fileBuffer.findImageStart(from);
}

std::error_code saveChunk(std::int64_t first, std::int64_t last, const std::filesystem::path& name,
                          FileIdentity* written) {
    if (last <= first)
        return {};
    if (first < 0 || last >= fileBuffer.length())
        return std::make_error_code(std::errc::invalid_argument);
    removeAbandonedTemporaries(name.has_parent_path() ? name.parent_path() : pathFromUtf8("."));
    return writeFileAtomically(
        name,
        [first, last](NativeFile output) {
            return fileBuffer.copyTo(output, first, last - first + 1);
        },
        written, TemporaryKind::unnamedWherePossible, ExistingFile::replace,
        fileBuffer.permissions());
}

std::error_code stageChunk(std::int64_t first, std::int64_t last, const std::filesystem::path& name,
                           bool holdOpen, StagedFile& staged, const PublishWatcher& watcher) {
    if (first < 0 || last <= first || last >= fileBuffer.length())
        return std::make_error_code(std::errc::invalid_argument);
    removeAbandonedTemporaries(name.has_parent_path() ? name.parent_path() : pathFromUtf8("."));
    return stageFile(
        name,
        [first, last](NativeFile output) {
            return fileBuffer.copyTo(output, first, last - first + 1);
        },
        fileBuffer.permissions(), holdOpen, staged, watcher);
}

} // namespace twinframe
