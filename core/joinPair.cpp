#include "joinPair.h"

#include "asciiCase.h"
#include "failure.h"
#include "fileSystem.h"
#include "jpegSegments.h"
#include "mpWriter.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <string_view>

namespace twinframe {

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint64_t kLargestMpo = 0xFFFFFFFF;
constexpr std::array<std::uint8_t, 2> kStartOfImage = {0xFF, 0xD8};

// The markers that begin a frame and give its size; C4, C8 and CC are tables and a reserved code.
bool isStartOfFrame(std::uint8_t marker) {
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

bool isRestart(std::uint8_t marker) {
    return marker >= 0xD0 && marker <= 0xD7;
}

bool hasNoLength(std::uint8_t marker) {
    return isRestart(marker) || marker == 0x01;
}

// One header segment as the walk meets it.
struct Segment {
    std::uint8_t marker = 0;
    std::uint64_t offset = 0;     // its FF (after any fill bytes)
    std::uint64_t dataOffset = 0; // after the length field
    std::size_t dataLength = 0;   // at most 65533
    std::uint64_t end() const { return dataOffset + dataLength; }
};

enum class MarkerEnd { marker, notAMarker, pastEnd };

// The marker at pos, after any FF fill bytes: pos is moved to its FF.
MarkerEnd findMarker(JoinInputBytes& bytes, std::uint64_t& pos, std::uint8_t& marker) {
    while (true) {
        const auto here = bytes.at(pos, 2);
        if (here.size() < 2)
            return MarkerEnd::pastEnd;
        if (here[0] != 0xFF)
            return MarkerEnd::notAMarker;
        std::size_t fill = 0;
        while (fill + 1 < here.size() && here[fill + 1] == 0xFF)
            ++fill;
        pos += fill;
        if (fill + 1 < here.size()) {
            marker = here[fill + 1];
            return MarkerEnd::marker;
        }
    }
}

// The segment whose marker is at pos, its length checked against the input; none when it runs
// past the end.
std::optional<Segment> segmentAt(JoinInputBytes& bytes, std::uint64_t pos, std::uint8_t marker) {
    Segment segment{marker, pos, pos + 2, 0};
    if (hasNoLength(marker))
        return segment;
    const auto field = bytes.at(pos + 2, 2);
    if (field.size() < 2)
        return std::nullopt;
    const std::uint64_t length = std::uint64_t{field[0]} << 8 | field[1];
    if (length < 2 || length > bytes.size() - pos - 2)
        return std::nullopt;
    segment.dataOffset = pos + 4;
    segment.dataLength = static_cast<std::size_t>(length - 2);
    return segment;
}

// What the walk of the header found, up to the first start of scan.
struct Header {
    bool reachedScan = false;
    std::uint64_t scanStart = 0;
    std::vector<ByteRange> rewritten; // the Exif run and the MP segments, in order
};

// Whether the segment's data begins with identifier.
bool dataBeginsWith(JoinInputBytes& bytes, const Segment& segment, std::string_view identifier) {
    if (segment.dataLength < identifier.size())
        return false;
    const auto data = bytes.at(segment.dataOffset, identifier.size());
    return data.size() >= identifier.size() &&
           std::memcmp(data.data(), identifier.data(), identifier.size()) == 0;
}

bool readsAsExif(JoinInputBytes& bytes, const Segment& segment) {
    return segment.marker == 0xE1 && dataBeginsWith(bytes, segment, {"Exif\0\0", 6});
}

bool readsAsMp(JoinInputBytes& bytes, const Segment& segment) {
    return segment.marker == 0xE2 && dataBeginsWith(bytes, segment, {"MPF\0", 4});
}

// Walks the header from offset 2 to the first SOS, taking the frame's size, the Exif run (the
// first Exif APP1 and those right after it, which tools that write a long Exif split it into:
// they must stay together) and the MP segments.
Header walkHeader(JoinInputBytes& bytes, JoinInput& input) {
    Header header;
    bool frameSeen = false;
    bool inExifRun = false;
    std::uint64_t pos = 2;
    while (true) {
        std::uint8_t marker = 0;
        if (findMarker(bytes, pos, marker) != MarkerEnd::marker || marker == 0xD9)
            return header;
        if (marker == 0xDA) {
            header.reachedScan = frameSeen;
            header.scanStart = pos;
            return header;
        }
        const auto segment = segmentAt(bytes, pos, marker);
        if (!segment)
            return header;
        const ByteRange range{segment->offset, segment->end()};
        const bool exif = readsAsExif(bytes, *segment);
        if (exif && (inExifRun || !input.exif)) {
            if (inExifRun) {
                input.exif->end = range.end;
                header.rewritten.back().end = range.end;
            } else {
                input.exif = range;
                header.rewritten.push_back(range);
            }
            inExifRun = true;
        } else {
            inExifRun = false;
            if (readsAsMp(bytes, *segment)) {
                header.rewritten.push_back(range);
                if (!input.mpAttributes) {
                    const auto data = bytes.at(segment->dataOffset, segment->dataLength);
                    if (data.size() >= segment->dataLength)
                        input.mpAttributes = readMpAttributes(data.first(segment->dataLength));
                }
            } else if (isStartOfFrame(marker) && !frameSeen && segment->dataLength >= 5) {
                const auto frame = bytes.at(segment->dataOffset, 5);
                if (frame.size() < 5)
                    return header;
                input.height = std::uint32_t{frame[1]} << 8 | frame[2];
                input.width = std::uint32_t{frame[3]} << 8 | frame[4];
                frameSeen = true;
            }
        }
        pos = segment->end();
    }
}

enum class ImageEnd { endMarker, startMarker, cutShort };

// From pos, just past a scan's marker segment, over compressed data to the next marker other
// than a restart: pos is left at its FF. An FF in the data is followed by 00 (a stuffed byte), a
// restart marker or more FF fill; anything else is the next marker. False when the bytes end.
bool skipCompressedData(JoinInputBytes& bytes, std::uint64_t& pos) {
    while (true) {
        const auto block = bytes.at(pos, 1);
        if (block.empty())
            return false;
        const void* found = std::memchr(block.data(), 0xFF, block.size());
        if (found == nullptr) {
            pos += block.size();
            continue;
        }
        pos += static_cast<std::uint64_t>(static_cast<const std::uint8_t*>(found) - block.data());
        std::uint8_t next = 0;
        if (findMarker(bytes, pos, next) != MarkerEnd::marker)
            return false;
        if (next != 0x00 && !isRestart(next))
            return true;
        pos += 2;
    }
}

// From the first SOS at pos, through compressed data and whatever scans and tables follow, to
// one past the EOI; or to an SOI where a picture starts without the last one having ended; or
// to where the bytes end.
ImageEnd findImageEnd(JoinInputBytes& bytes, std::uint64_t& pos) {
    while (true) {
        std::uint8_t marker = 0;
        if (findMarker(bytes, pos, marker) != MarkerEnd::marker)
            return ImageEnd::cutShort;
        if (marker == 0xD9) {
            pos += 2;
            return ImageEnd::endMarker;
        }
        if (marker == 0xD8)
            return ImageEnd::startMarker;
        const auto segment = segmentAt(bytes, pos, marker);
        if (!segment)
            return ImageEnd::cutShort;
        pos = segment->end();
        if (!skipCompressedData(bytes, pos))
            return ImageEnd::cutShort;
    }
}

// Whether FF D8 FF (the start of a further picture) lies anywhere from pos to the end.
bool holdsImageStart(JoinInputBytes& bytes, std::uint64_t pos) {
    static constexpr std::uint8_t signature[] = {0xFF, 0xD8, 0xFF};
    while (true) {
        const auto block = bytes.at(pos, sizeof signature);
        if (block.size() < sizeof signature)
            return false;
        if (std::search(block.begin(), block.end(), std::begin(signature), std::end(signature)) !=
            block.end())
            return true;
        // The next block starts two bytes back, so a signature across the boundary is seen.
        pos += block.size() - (sizeof signature - 1);
    }
}

std::vector<ByteRange> keptRanges(const std::vector<ByteRange>& rewritten, std::uint64_t imageEnd) {
    std::vector<ByteRange> kept;
    std::uint64_t from = 2;
    for (const ByteRange& range : rewritten) {
        if (range.first > from)
            kept.push_back({from, range.first});
        from = range.end;
    }
    kept.push_back({from, imageEnd});
    return kept;
}

std::string sizeText(const JoinInput& input) {
    return std::to_string(input.width) + "x" + std::to_string(input.height);
}

} // namespace

JoinInputBytes::JoinInputBytes(std::span<const std::uint8_t> bytes)
    : inMemory_(bytes), size_(bytes.size()) {}

JoinInputBytes::JoinInputBytes(std::uint64_t size, Fetch fetch, std::size_t blockSize)
    : size_(size), fetch_(std::move(fetch)), blockSize_(std::max<std::size_t>(blockSize, 16)) {}

std::span<const std::uint8_t> JoinInputBytes::at(std::uint64_t offset, std::size_t wanted) {
    if (offset >= size_ || error_)
        return {};
    if (!fetch_)
        return inMemory_.subspan(static_cast<std::size_t>(offset));
    const std::uint64_t available = std::min<std::uint64_t>(wanted, size_ - offset);
    if (offset < blockStart_ || offset + available > blockStart_ + blockLength_) {
        // A block is at least as long as what is wanted at once (a whole segment at most).
        const auto length = static_cast<std::size_t>(
            std::min<std::uint64_t>(std::max(blockSize_, wanted), size_ - offset));
        if (block_.size() < length)
            block_.resize(length);
        blockStart_ = offset;
        blockLength_ = 0;
        std::size_t got = 0;
        error_ = fetch_(offset, block_.data(), length, got);
        if (!error_ && got < length)
            error_ = make_error_code(Refusal::inputChanged); // it shrank since it was opened
        if (error_)
            return {};
        blockLength_ = length;
    }
    const auto from = static_cast<std::size_t>(offset - blockStart_);
    return std::span<const std::uint8_t>(block_).subspan(from, blockLength_ - from);
}

JoinInput readJoinInput(JoinInputBytes& bytes) {
    JoinInput input;
    input.size = bytes.size();
    const auto start = bytes.at(0, 4);
    if (start.size() < 4 || start[0] != 0xFF || start[1] != 0xD8)
        return input;

    const Header header = walkHeader(bytes, input);
    if (!header.reachedScan || bytes.error())
        return input;
    std::uint64_t end = header.scanStart;
    const ImageEnd ended = findImageEnd(bytes, end);
    const bool further = holdsImageStart(bytes, end);
    if (bytes.error())
        return input;
    input.imageEnd = end;
    input.kept = keptRanges(header.rewritten, end);
    if (further)
        input.kind = JoinInputKind::secondImage;
    else if (ended != ImageEnd::endMarker)
        input.kind = JoinInputKind::cutShort;
    else
        input.kind = JoinInputKind::picture;
    return input;
}

JoinInput readJoinInput(std::span<const std::uint8_t> bytes) {
    JoinInputBytes inMemory(bytes);
    return readJoinInput(inMemory);
}

namespace {

// The plan's pieces and made bytes, appended in the order of the file.
class PlanBuilder {
  public:
    explicit PlanBuilder(JoinPlan& plan) : plan_(plan) {}

    void made(std::span<const std::uint8_t> bytes) {
        const auto first = static_cast<std::uint64_t>(plan_.made.size());
        plan_.made.insert(plan_.made.end(), bytes.begin(), bytes.end());
        add(JoinSource::made, {first, first + bytes.size()});
    }
    void add(JoinSource source, ByteRange range) {
        if (range.size() > 0)
            plan_.pieces.push_back({source, range});
    }

  private:
    JoinPlan& plan_;
};

std::uint64_t keptSize(const JoinInput& input) {
    std::uint64_t size = 0;
    for (const ByteRange& range : input.kept)
        size += range.size();
    return size;
}

// A picture without Exif gets a minimal one, so that each image begins FF D8 FF E1 as MPO
// readers (and our own split) expect.
Bytes madeExif(const JoinInput& input) {
    return input.exif ? Bytes() : minimalExifSegment(input.width, input.height);
}

std::uint64_t exifSize(const JoinInput& input, const Bytes& made) {
    return input.exif ? input.exif->size() : made.size();
}

// One image: SOI, its Exif (its own or a made one), its MP segment, then the rest it keeps.
void addImage(PlanBuilder& builder, JoinSource source, const JoinInput& input, const Bytes& exif,
              const Bytes& mpSegment) {
    builder.made(kStartOfImage);
    if (input.exif)
        builder.add(source, *input.exif);
    else
        builder.made(exif);
    builder.made(mpSegment);
    for (const ByteRange& range : input.kept)
        builder.add(source, range);
}

// Copies count bytes from offset of input to the end of output, through a buffer where the
// kernel cannot do it.
std::error_code copyRange(NativeFile input, std::int64_t offset, std::int64_t count,
                          NativeFile output, Bytes& buffer) {
    const std::error_code error = copyInKernel(input, offset, output, count);
    if (error != std::errc::not_supported)
        return error;
    if (buffer.empty())
        buffer.resize(kJoinBlockSize);
    while (count > 0) {
        const auto wanted =
            static_cast<std::size_t>(std::min<std::int64_t>(count, std::ssize(buffer)));
        std::size_t got = 0;
        if (const std::error_code readError = readAt(input, buffer.data(), wanted, offset, got))
            return readError;
        if (got < wanted)
            return make_error_code(Refusal::inputChanged);
        if (const std::error_code writeError = writeAll(output, buffer.data(), got))
            return writeError;
        offset += static_cast<std::int64_t>(got);
        count -= static_cast<std::int64_t>(got);
    }
    return {};
}

} // namespace

JoinPlan planJoin(const JoinInput& left, const JoinInput& right) {
    JoinPlan plan;
    if (left.width != right.width || left.height != right.height) {
        plan.refusal = JoinRefusal::sizesDiffer;
        return plan;
    }
    const Bytes leftExif = madeExif(left);
    const Bytes rightExif = madeExif(right);
    const std::uint64_t leftAfterEnd = left.size - left.imageEnd;

    plan.mpHeaderOffset = kStartOfImage.size() + exifSize(left, leftExif) + kMpHeaderInSegment;
    plan.firstSize =
        kStartOfImage.size() + exifSize(left, leftExif) + kFirstMpSegmentSize + keptSize(left);
    // Whatever the left had past its EOI (a camera's padding) stays between the two images.
    plan.secondStart = plan.firstSize + leftAfterEnd;
    plan.secondSize =
        kStartOfImage.size() + exifSize(right, rightExif) + kSecondMpSegmentSize + keptSize(right);
    plan.totalSize = plan.secondStart + plan.secondSize + (right.size - right.imageEnd);
    if (plan.secondStart + plan.secondSize > kLargestMpo) {
        plan.refusal = JoinRefusal::tooLarge;
        return plan;
    }
    // A half split from a camera MPO carries what the camera measured; the right's would be the
    // same figures, so the left's serve both images, as cameras write them.
    const MpAttributes attributes = left.mpAttributes.value_or(MpAttributes{});
    const Bytes firstMp = firstImageMpSegment(
        static_cast<std::uint32_t>(plan.firstSize), static_cast<std::uint32_t>(plan.secondSize),
        static_cast<std::uint32_t>(plan.secondStart - plan.mpHeaderOffset), attributes);
    const Bytes secondMp = secondImageMpSegment(attributes);

    PlanBuilder builder(plan);
    addImage(builder, JoinSource::left, left, leftExif, firstMp);
    builder.add(JoinSource::left, {left.imageEnd, left.size});
    addImage(builder, JoinSource::right, right, rightExif, secondMp);
    builder.add(JoinSource::right, {right.imageEnd, right.size});
    return plan;
}

Bytes joinedBytes(const JoinPlan& plan, std::span<const std::uint8_t> left,
                  std::span<const std::uint8_t> right) {
    Bytes out;
    out.reserve(static_cast<std::size_t>(plan.totalSize)); // a plan in memory fits in memory
    for (const JoinPiece& piece : plan.pieces) {
        const std::span<const std::uint8_t> from = piece.source == JoinSource::made   ? plan.made
                                                   : piece.source == JoinSource::left ? left
                                                                                      : right;
        const auto bytes = from.subspan(static_cast<std::size_t>(piece.range.first),
                                        static_cast<std::size_t>(piece.range.size()));
        out.insert(out.end(), bytes.begin(), bytes.end());
    }
    return out;
}

std::error_code writeJoin(const JoinPlan& plan, NativeFile left, NativeFile right,
                          NativeFile output) {
    Bytes buffer; // only where the kernel cannot copy between these files
    for (const JoinPiece& piece : plan.pieces) {
        std::error_code error;
        if (piece.source == JoinSource::made)
            error = writeAll(output, plan.made.data() + piece.range.first,
                             static_cast<std::size_t>(piece.range.size()));
        else
            error = copyRange(piece.source == JoinSource::left ? left : right,
                              static_cast<std::int64_t>(piece.range.first),
                              static_cast<std::int64_t>(piece.range.size()), output, buffer);
        if (error)
            return error;
    }
    return {};
}

namespace {

// An input held open from its reading to the copy of its bytes, so that both see one file.
struct OpenInput {
    OpenInput() = default;
    OpenInput(const OpenInput&) = delete;
    OpenInput& operator=(const OpenInput&) = delete;
    ~OpenInput() { closeFile(file); }

    NativeFile file = kNoFile;
    JoinInput input;
    // Its permission bits, of which the joined file gets those both pictures share.
    std::filesystem::perms permissions = std::filesystem::perms::unknown;
};

// The permission bits two files share: who may read (or write) both. A file whose bits are not
// known leaves the other's.
std::filesystem::perms sharedPermissions(std::filesystem::perms left,
                                         std::filesystem::perms right) {
    if (left == std::filesystem::perms::unknown)
        return right;
    if (right == std::filesystem::perms::unknown)
        return left;
    return left & right;
}

// Opens and reads one input, its size checked first; the user's text when that fails.
std::string openInput(const fs::path& path, OpenInput& open) {
    std::int64_t length = 0;
    // Refuses a fifo (or a folder) in a picture's place without waiting for it.
    std::error_code error = openForReading(path, open.file, length);
    if (error == std::errc::is_a_directory)
        error = make_error_code(Refusal::notRegularFile);
    if (error && error.category() != refusalCategory())
        return describeFailure("Cannot open", utf8Text(path), error);
    // An MP index counts in 32 bits: a larger picture could never be joined, so it is not read.
    if (!error && static_cast<std::uint64_t>(length) > kLargestMpo)
        error = std::make_error_code(std::errc::file_too_large);
    if (error)
        return describeFailure("Cannot read", utf8Text(path), error);

    const NativeFile file = open.file;
    open.permissions = permissionsOf(file);
    JoinInputBytes bytes(
        static_cast<std::uint64_t>(length),
        [file](std::uint64_t offset, std::uint8_t* data, std::size_t size, std::size_t& got) {
            return readAt(file, data, size, static_cast<std::int64_t>(offset), got);
        });
    open.input = readJoinInput(bytes);
    if (bytes.error())
        return describeFailure("Cannot read", utf8Text(path), bytes.error());
    return {};
}

std::string inputProblem(const fs::path& path, const JoinInput& input) {
    switch (input.kind) {
    case JoinInputKind::picture:
        return {};
    case JoinInputKind::notJpeg:
        return utf8Text(path) + " is not a valid JPEG file";
    case JoinInputKind::cutShort:
        return utf8Text(path) + " is not a complete JPEG file: it ends before its end marker";
    case JoinInputKind::secondImage:
        return utf8Text(path) + " is a whole MPO file: a second picture follows its end";
    }
    return {};
}

// Where the extension of a picture's name begins: its ".jpg" or ".jpeg", in any case; npos
// without one.
std::size_t pictureExtensionAt(const std::string& leaf) {
    const std::string lower = asciiLowered(leaf);
    for (const std::string_view extension : {".jpg", ".jpeg"})
        if (lower.size() > extension.size() && lower.ends_with(extension))
            return lower.size() - extension.size();
    return std::string::npos;
}

} // namespace

std::optional<PairNames> pairNamesFor(const fs::path& left) {
    const std::string leaf = utf8Text(left.filename());
    const std::size_t extension = pictureExtensionAt(leaf);
    // At least one character of NAME, then "-L".
    if (extension == std::string::npos || extension < 3 || leaf[extension - 2] != '-' ||
        (leaf[extension - 1] != 'L' && leaf[extension - 1] != 'l'))
        return std::nullopt;
    const std::string name = leaf.substr(0, extension - 2);
    std::string rightLeaf = leaf;
    rightLeaf[extension - 1] = leaf[extension - 1] == 'L' ? 'R' : 'r';
    // The folder part as it was given, separators included.
    return PairNames{fs::path(left).replace_filename(pathFromUtf8(rightLeaf)),
                     fs::path(left).replace_filename(pathFromUtf8(name + ".mpo"))};
}

namespace {

// Reads both pictures, held open in leftFile and rightFile, and lays out their join; the user's
// text instead when they cannot be joined.
std::string readAndPlan(const fs::path& left, const fs::path& right, const fs::path& output,
                        OpenInput& leftFile, OpenInput& rightFile, JoinPlan& plan) {
    // The same picture twice (a link, or a copy program's hard link) would give an MPO of one
    // view seen twice.
    if (const auto leftIdentity = identityOf(left);
        leftIdentity && leftIdentity == identityOf(right))
        return utf8Text(left) + " and " + utf8Text(right) + " are the same file";

    if (std::string problem = openInput(left, leftFile); !problem.empty())
        return problem;
    if (std::string problem = inputProblem(left, leftFile.input); !problem.empty())
        return problem;
    if (std::string problem = openInput(right, rightFile); !problem.empty())
        return problem;
    if (std::string problem = inputProblem(right, rightFile.input); !problem.empty())
        return problem;

    plan = planJoin(leftFile.input, rightFile.input);
    switch (plan.refusal) {
    case JoinRefusal::none:
        break;
    case JoinRefusal::sizesDiffer:
        return utf8Text(left) + " and " + utf8Text(right) +
               " differ in size: " + sizeText(leftFile.input) + " and " + sizeText(rightFile.input);
    case JoinRefusal::tooLarge:
        return "Cannot write " + utf8Text(output) +
               ": the pictures together pass the 4 GiB an MPO index can address";
    }
    return {};
}

} // namespace

JoinResult planPair(const fs::path& left, const fs::path& right, const fs::path& output,
                    JoinPlan& plan) {
    OpenInput leftFile;
    OpenInput rightFile;
    return {readAndPlan(left, right, output, leftFile, rightFile, plan)};
}

JoinResult joinPair(const fs::path& left, const fs::path& right, const fs::path& output) {
    // Before anything can refuse the pair: a join killed on a card leaves its temporary there,
    // and the run after it may well find its pair joined or refused.
    removeAbandonedTemporaries(output.has_parent_path() ? output.parent_path() : pathFromUtf8("."));
    // The original MPO usually sits there; looked at first, it costs no reading.
    if (nameIsTaken(output))
        return {outputExistsText(output)};
    OpenInput leftFile;
    OpenInput rightFile;
    JoinPlan plan;
    if (std::string problem = readAndPlan(left, right, output, leftFile, rightFile, plan);
        !problem.empty())
        return {problem};

    const auto writeContent = [&](NativeFile file) {
        return writeJoin(plan, leftFile.file, rightFile.file, file);
    };
    // The original MPO is usually what sits under the output's name: never replace a file. The
    // output holds both pictures, so it is as private as the more private of them.
    const std::error_code error = writeFileAtomically(
        output, writeContent, nullptr, TemporaryKind::unnamedWherePossible, ExistingFile::keep,
        sharedPermissions(leftFile.permissions, rightFile.permissions));
    if (error == std::errc::file_exists)
        return {outputExistsText(output)};
    if (error)
        return {describeFailure("Cannot write", utf8Text(output), error)};
    return {};
}

JoinBatchResult joinPairs(std::span<const std::string> lefts, const std::optional<fs::path>& output,
                          BatchReporter& reporter, const std::function<bool()>& stopRequested,
                          const JoinAction& join) {
    JoinBatchResult result;
    // Pairs are numbered over the left pictures alone, so the numbers run without gaps.
    result.pairCount = std::count_if(lefts.begin(), lefts.end(), [](const std::string& left) {
        return pairNamesFor(pathFromUtf8(left));
    });
    for (const std::string& left : lefts) {
        const fs::path leftPath = pathFromUtf8(left);
        std::optional<PairNames> names = pairNamesFor(leftPath);
        if (!names) {
            reporter.showMessage(left + " is not a left picture: its name must end in -L.jpg");
            continue;
        }
        if (result.pairsDealtWith > 0 && stopRequested && stopRequested()) {
            result.stopped = true;
            break;
        }
        const std::int64_t pairNumber = ++result.pairsDealtWith;
        if (output && lefts.size() == 1)
            names->output = *output;
        reporter.setStatus("Pair: " + std::to_string(pairNumber) + ", " + utf8Text(names->output));
        const JoinResult joined = join(leftPath, names->right, names->output);
        if (joined.joined())
            ++result.joined;
        else
            reporter.showMessage(joined.problem);
    }
    return result;
}

std::string joinSummaryText(const JoinBatchResult& result) {
    std::string text = "Pairs joined: " + std::to_string(result.joined);
    if (result.stopped)
        text += "\nStopped after pair " + std::to_string(result.pairsDealtWith) + " of " +
                std::to_string(result.pairCount);
    return text;
}

namespace {

// The right pictures that the given left pictures go with, as files and as spelled.
struct RightsOfLefts {
    std::set<FileIdentity> identities;
    std::set<std::string> spellings;

    explicit RightsOfLefts(std::span<const std::string> files) {
        for (const std::string& file : files) {
            if (const auto names = pairNamesFor(pathFromUtf8(file))) {
                if (const auto identity = identityOf(names->right))
                    identities.insert(*identity);
                spellings.insert(utf8Text(names->right.lexically_normal()));
            }
        }
    }
    bool hold(const std::string& file) const {
        const fs::path path = pathFromUtf8(file);
        const auto identity = identityOf(path);
        return (identity && identities.count(*identity) > 0) ||
               spellings.count(utf8Text(path.lexically_normal())) > 0;
    }
};

} // namespace

std::vector<std::string> withoutPairedRights(std::span<const std::string> files) {
    const RightsOfLefts rights(files);
    std::vector<std::string> kept;
    for (const std::string& file : files)
        if (pairNamesFor(pathFromUtf8(file)) || !rights.hold(file))
            kept.push_back(file);
    return kept;
}

std::string outputExistsText(const fs::path& output) {
    return "Cannot write " + utf8Text(output) + ": a file of that name exists";
}

} // namespace twinframe
