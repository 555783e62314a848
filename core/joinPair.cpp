#include "joinPair.h"

#include "failure.h"
#include "fileSystem.h"
#include "jpegSegments.h"
#include "mpWriter.h"
#include "pathText.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string_view>

namespace twinframe {

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint64_t kLargestMpo = 0xFFFFFFFF;
constexpr std::array<std::uint8_t, 2> kStartOfImage = {0xFF, 0xD8};

bool startsWith(std::span<const std::uint8_t> bytes, const JpegSegment& segment,
                std::string_view prefix) {
    return segment.dataLength >= prefix.size() &&
           std::memcmp(bytes.data() + segment.dataOffset, prefix.data(), prefix.size()) == 0;
}

// The markers that begin a frame and give its size; C4, C8 and CC are tables and a reserved code.
bool isStartOfFrame(std::uint8_t marker) {
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

bool isRestart(std::uint8_t marker) {
    return marker >= 0xD0 && marker <= 0xD7;
}

// From the marker at pos (the first SOS), through compressed data and whatever scans and tables
// follow, to one past the EOI; or to an SOI where a picture starts without the last one having
// ended; or to the end of the bytes.
std::size_t findImageEnd(std::span<const std::uint8_t> bytes, std::size_t pos) {
    const std::size_t size = bytes.size();
    while (true) {
        // pos is at an FF that begins a marker other than a restart
        const std::uint8_t marker = bytes[pos + 1];
        if (marker == 0xD9)
            return pos + 2;
        if (marker == 0xD8)
            return pos;
        if (marker != 0x01) {
            if (pos + 3 >= size)
                return size;
            const std::size_t length = std::size_t{bytes[pos + 2]} << 8 | bytes[pos + 3];
            if (length < 2 || length > size - pos - 2)
                return size;
            pos += 2 + length;
        } else {
            pos += 2;
        }
        // Compressed data: an FF in it is followed by 00 (a stuffed byte), a restart marker or
        // more FF fill; anything else is the next marker.
        while (true) {
            const void* found =
                pos < size ? std::memchr(bytes.data() + pos, 0xFF, size - pos) : nullptr;
            if (found == nullptr)
                return size;
            pos = static_cast<std::size_t>(static_cast<const std::uint8_t*>(found) - bytes.data());
            while (pos + 1 < size && bytes[pos + 1] == 0xFF)
                ++pos;
            if (pos + 1 >= size)
                return size;
            const std::uint8_t next = bytes[pos + 1];
            if (next != 0x00 && !isRestart(next))
                break;
            pos += 2;
        }
    }
}

bool holdsImageStart(std::span<const std::uint8_t> bytes) {
    static constexpr std::uint8_t signature[] = {0xFF, 0xD8, 0xFF};
    return std::search(bytes.begin(), bytes.end(), std::begin(signature), std::end(signature)) !=
           bytes.end();
}

std::span<const std::uint8_t> rangeOf(std::span<const std::uint8_t> bytes, ByteRange range) {
    return bytes.subspan(range.first, range.size());
}

std::string sizeText(const JoinInput& input) {
    return std::to_string(input.width) + "x" + std::to_string(input.height);
}

} // namespace

JoinInput readJoinInput(std::span<const std::uint8_t> bytes) {
    JoinInput input;
    if (bytes.size() < 4 || bytes[0] != 0xFF || bytes[1] != 0xD8)
        return input;

    std::vector<ByteRange> rewritten;
    bool frameSeen = false;
    const SegmentWalk walk = walkSegments(bytes, [&](const JpegSegment& segment) {
        const ByteRange range{segment.offset, segment.dataOffset + segment.dataLength};
        if (segment.marker == 0xE1 && !input.exif && startsWith(bytes, segment, {"Exif\0", 5})) {
            input.exif = range;
            rewritten.push_back(range);
        } else if (segment.marker == 0xE2 && startsWith(bytes, segment, {"MPF\0", 4})) {
            rewritten.push_back(range);
        } else if (isStartOfFrame(segment.marker) && !frameSeen && segment.dataLength >= 5) {
            const std::uint8_t* frame = bytes.data() + segment.dataOffset;
            input.height = std::uint32_t{frame[1]} << 8 | frame[2];
            input.width = std::uint32_t{frame[3]} << 8 | frame[4];
            frameSeen = true;
        }
        return true;
    });
    if (walk.end != SegmentWalkEnd::startOfScan || !frameSeen)
        return input;

    input.imageEnd = findImageEnd(bytes, walk.offset);
    std::size_t from = 2;
    for (const ByteRange& range : rewritten) {
        if (range.first > from)
            input.kept.push_back({from, range.first});
        from = range.end;
    }
    input.kept.push_back({from, input.imageEnd});
    input.kind = holdsImageStart(bytes.subspan(input.imageEnd)) ? JoinInputKind::secondImage
                                                                : JoinInputKind::picture;
    return input;
}

Bytes JoinPlan::bytes() const {
    Bytes out;
    out.reserve(static_cast<std::size_t>(totalSize)); // a plan in memory fits in memory
    for (const auto piece : pieces)
        out.insert(out.end(), piece.begin(), piece.end());
    return out;
}

JoinPlan planJoin(std::span<const std::uint8_t> left, const JoinInput& leftInput,
                  std::span<const std::uint8_t> right, const JoinInput& rightInput) {
    JoinPlan plan;
    if (leftInput.width != rightInput.width || leftInput.height != rightInput.height) {
        plan.refusal = JoinRefusal::sizesDiffer;
        return plan;
    }
    // A picture without Exif gets a minimal one, so that each image begins FF D8 FF E1 as MPO
    // readers (and our own split) expect.
    const auto exifOf = [](const JoinInput& input) {
        return input.exif ? Bytes() : minimalExifSegment(input.width, input.height);
    };
    plan.made_[0] = exifOf(leftInput);
    plan.made_[2] = exifOf(rightInput);
    const auto exifSpan = [&](std::span<const std::uint8_t> bytes, const JoinInput& input,
                              const Bytes& made) {
        return input.exif ? rangeOf(bytes, *input.exif) : std::span<const std::uint8_t>(made);
    };
    const auto leftExif = exifSpan(left, leftInput, plan.made_[0]);
    const auto rightExif = exifSpan(right, rightInput, plan.made_[2]);

    std::uint64_t leftKept = 0;
    for (const ByteRange& range : leftInput.kept)
        leftKept += range.size();
    std::uint64_t rightKept = 0;
    for (const ByteRange& range : rightInput.kept)
        rightKept += range.size();
    const std::uint64_t leftAfterEnd = left.size() - leftInput.imageEnd;

    plan.mpHeaderOffset = kStartOfImage.size() + leftExif.size() + kMpHeaderInSegment;
    plan.firstSize = kStartOfImage.size() + leftExif.size() + kFirstMpSegmentSize + leftKept;
    // Whatever the left had past its EOI (a camera's padding) stays between the two images.
    plan.secondStart = plan.firstSize + leftAfterEnd;
    plan.secondSize = kStartOfImage.size() + rightExif.size() + kSecondMpSegmentSize + rightKept;
    plan.totalSize = plan.secondStart + plan.secondSize + (right.size() - rightInput.imageEnd);
    if (plan.secondStart + plan.secondSize > kLargestMpo) {
        plan.refusal = JoinRefusal::tooLarge;
        return plan;
    }
    plan.made_[1] = firstImageMpSegment(
        static_cast<std::uint32_t>(plan.firstSize), static_cast<std::uint32_t>(plan.secondSize),
        static_cast<std::uint32_t>(plan.secondStart - plan.mpHeaderOffset));
    plan.made_[3] = secondImageMpSegment();

    plan.pieces.push_back(kStartOfImage);
    plan.pieces.push_back(leftExif);
    plan.pieces.push_back(plan.made_[1]);
    for (const ByteRange& range : leftInput.kept)
        plan.pieces.push_back(rangeOf(left, range));
    if (leftAfterEnd > 0)
        plan.pieces.push_back(left.subspan(leftInput.imageEnd));
    plan.pieces.push_back(kStartOfImage);
    plan.pieces.push_back(rightExif);
    plan.pieces.push_back(plan.made_[3]);
    for (const ByteRange& range : rightInput.kept)
        plan.pieces.push_back(rangeOf(right, range));
    if (rightInput.imageEnd < right.size())
        plan.pieces.push_back(right.subspan(rightInput.imageEnd));
    return plan;
}

namespace {

// One input, read whole: a join needs every byte, and pictures are a few megabytes.
struct LoadedFile {
    std::unique_ptr<std::uint8_t[]> data;
    std::size_t size = 0;
    std::span<const std::uint8_t> bytes() const { return {data.get(), size}; }
};

std::error_code readAll(NativeFile file, std::uint8_t* data, std::size_t size) {
    std::size_t got = 0;
    if (const std::error_code error = readAt(file, data, size, 0, got))
        return error;
    if (got < size)
        return make_error_code(Refusal::inputChanged); // it shrank while we read
    std::uint8_t more;
    if (!readAt(file, &more, 1, static_cast<std::int64_t>(size), got) && got > 0)
        return make_error_code(Refusal::inputChanged); // it grew
    return {};
}

// The user's text for a file that cannot be read, or an empty one.
std::string load(const fs::path& path, LoadedFile& file) {
    NativeFile input = kNoFile;
    std::int64_t length = 0;
    // Refuses a fifo (or a folder) in a picture's place without waiting for it.
    std::error_code error = openForReading(path, input, length);
    if (error == std::errc::is_a_directory)
        error = make_error_code(Refusal::notRegularFile);
    if (error && error.category() != refusalCategory())
        return describeFailure("Cannot open", utf8Of(path), error);
    if (!error && static_cast<std::uint64_t>(length) > kLargestMpo)
        error = std::make_error_code(std::errc::file_too_large);
    if (!error) {
        file.size = static_cast<std::size_t>(length);
        file.data = uninitialisedBuffer(file.size);
        error = readAll(input, file.data.get(), file.size);
    }
    closeFile(input);
    return error ? describeFailure("Cannot read", utf8Of(path), error) : std::string();
}

std::string inputProblem(const fs::path& path, const JoinInput& input) {
    switch (input.kind) {
    case JoinInputKind::picture:
        return {};
    case JoinInputKind::notJpeg:
        return utf8Of(path) + " is not a valid JPEG file";
    case JoinInputKind::secondImage:
        return utf8Of(path) + " is a whole MPO file: a second picture follows its end";
    }
    return {};
}

std::string existsText(const fs::path& output) {
    return "Cannot write " + utf8Of(output) + ": a file of that name exists";
}

} // namespace

std::optional<PairNames> pairNamesFor(const fs::path& left) {
    const std::string leaf = utf8Of(left.filename());
    constexpr std::size_t suffixLength = 6; // "-L.jpg"
    if (leaf.size() <= suffixLength)
        return std::nullopt;
    const std::string suffix = leaf.substr(leaf.size() - suffixLength);
    std::string lower = suffix;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
    if (lower != "-l.jpg")
        return std::nullopt;
    const std::string name = leaf.substr(0, leaf.size() - suffixLength);
    std::string rightLeaf = leaf;
    rightLeaf[name.size() + 1] = suffix[1] == 'L' ? 'R' : 'r';
    // The folder part as it was given, separators included.
    return PairNames{fs::path(left).replace_filename(pathFromUtf8(rightLeaf)),
                     fs::path(left).replace_filename(pathFromUtf8(name + ".mpo"))};
}

JoinResult joinPair(const fs::path& left, const fs::path& right, const fs::path& output) {
    // The original MPO usually sits there; looked at first, it costs no reading.
    if (nameIsTaken(output))
        return {existsText(output)};

    LoadedFile leftFile;
    if (std::string problem = load(left, leftFile); !problem.empty())
        return {problem};
    const JoinInput leftInput = readJoinInput(leftFile.bytes());
    if (std::string problem = inputProblem(left, leftInput); !problem.empty())
        return {problem};

    LoadedFile rightFile;
    if (std::string problem = load(right, rightFile); !problem.empty())
        return {problem};
    const JoinInput rightInput = readJoinInput(rightFile.bytes());
    if (std::string problem = inputProblem(right, rightInput); !problem.empty())
        return {problem};

    const JoinPlan plan = planJoin(leftFile.bytes(), leftInput, rightFile.bytes(), rightInput);
    switch (plan.refusal) {
    case JoinRefusal::none:
        break;
    case JoinRefusal::sizesDiffer:
        return {utf8Of(left) + " and " + utf8Of(right) + " differ in size: " + sizeText(leftInput) +
                " and " + sizeText(rightInput)};
    case JoinRefusal::tooLarge:
        return {"Cannot write " + utf8Of(output) +
                ": the pictures together pass the 4 GiB an MPO index can address"};
    }

    const auto writePieces = [&plan](NativeFile file) {
        for (const auto piece : plan.pieces)
            if (const std::error_code pieceError = writeAll(file, piece.data(), piece.size()))
                return pieceError;
        return std::error_code();
    };
    // The original MPO is usually what sits under the output's name: never replace a file.
    const std::error_code error = writeFileAtomically(
        output, writePieces, nullptr, TemporaryKind::unnamedWherePossible, ExistingFile::keep);
    if (error == std::errc::file_exists)
        return {existsText(output)};
    if (error)
        return {describeFailure("Cannot write", utf8Of(output), error)};
    return {};
}

std::int64_t joinPairs(std::span<const std::string> lefts, const std::optional<fs::path>& output,
                       BatchReporter& reporter) {
    std::int64_t joined = 0;
    std::int64_t pairNumber = 0;
    for (const std::string& left : lefts) {
        ++pairNumber;
        const fs::path leftPath = pathFromUtf8(left);
        std::optional<PairNames> names = pairNamesFor(leftPath);
        if (!names) {
            reporter.showMessage(left + " is not a left picture: its name must end in -L.jpg");
            continue;
        }
        if (output && lefts.size() == 1)
            names->output = *output;
        reporter.setStatus("Pair: " + std::to_string(pairNumber) + ", " + utf8Of(names->output));
        const JoinResult result = joinPair(leftPath, names->right, names->output);
        if (result.joined())
            ++joined;
        else
            reporter.showMessage(result.problem);
    }
    return joined;
}

std::string joinSummaryText(std::int64_t joined) {
    return "Pairs joined: " + std::to_string(joined);
}

} // namespace twinframe
