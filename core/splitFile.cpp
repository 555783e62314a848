#include "splitFile.h"

#include "failure.h"
#include "saveChunkCode.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>

namespace twinframe {

namespace {

namespace fs = std::filesystem;

// Drops n characters from the end of UTF-8 text, never cutting a character in two.
std::string dropLastCharacters(const std::string& text, int n) {
    std::size_t end = text.size();
    for (int dropped = 0; dropped < n && end > 0; ++dropped) {
        do
            --end;
        while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80);
    }
    return text.substr(0, end);
}

std::string statusText(std::int64_t fileIndex, std::size_t imageNumber) {
    return "File: " + std::to_string(fileIndex) + ", Image: " + std::to_string(imageNumber);
}

// "-" and the image's number, the name's ending in a file of several images. Built by appending:
// GCC 12 warns falsely (-Wrestrict) about "-" + std::to_string(n) once inlined.
std::string numberedSuffix(std::size_t imageNumber) {
    std::string suffix = "-";
    suffix += std::to_string(imageNumber);
    return suffix;
}

// The multi-image case: each following image is looked for no earlier than the search window
// after the start of the previous one. An Exif thumbnail inside an image has its own
// start-of-image marker; the window is what keeps us from cutting there.
void planMultiImage(std::int64_t fileLength, std::int64_t secondStart,
                    const std::function<std::int64_t(std::int64_t)>& findFrom, SplitPlan& plan) {
    plan.searchStart = (secondStart / 3) * 2;
    // After an FF D8 FF E1 header secondStart is at least 4, so the window is at least 2 bytes.
    // Bytes that skipped the header check could start a signature at offset 1 or 2; a window
    // of at least one byte still keeps every scan moving forward.
    const std::int64_t window = std::max<std::int64_t>(plan.searchStart, 1);
    std::int64_t chunkStart = 0;
    std::int64_t pos = secondStart;
    std::size_t imageNumber = 1;
    while (pos != 0) {
        // The plan is held whole before the first image is written. Knowing that this image and
        // the last would pass the limit is enough to refuse the file, and keeps its memory the
        // same whatever the file holds.
        if (plan.chunks.size() + 2 > kMostImages) {
            plan.tooManyImages = true;
            return;
        }
        plan.chunks.push_back({chunkStart, pos - 1, numberedSuffix(imageNumber)});
        ++imageNumber;
        chunkStart = pos;
        pos = findFrom(chunkStart + window);
    }
    plan.chunks.push_back({chunkStart, fileLength - 1, numberedSuffix(imageNumber)});
}

struct Output {
    fs::path target;         // where it is written
    std::string displayName; // how messages name it: as the input was named, with the new leaf
};

std::vector<Output> outputsFor(const fs::path& folder, const std::string& name,
                               const SplitPlan& plan) {
    const fs::path listed = pathFromUtf8(name);
    const std::string leaf = utf8Text(listed.filename());
    std::vector<Output> outputs;
    for (const Chunk& chunk : plan.chunks) {
        // The folder part as it was given, separators included.
        const fs::path shown =
            fs::path(listed).replace_filename(pathFromUtf8(outputName(leaf, chunk.suffix)));
        outputs.push_back({folder / shown, utf8Text(shown)});
    }
    return outputs;
}

// The name of an output this batch already wrote from another file, if any would be replaced.
std::optional<std::string> collisionMessage(const std::string& name,
                                            const std::vector<Output>& outputs,
                                            const BatchState& batch) {
    for (const Output& output : outputs) {
        const auto identity = batch.sink->identityOf(output.target);
        if (!identity)
            continue;
        const auto earlier = batch.written.find(*identity);
        if (earlier != batch.written.end())
            return name + " not split: " + output.displayName +
                   " was already written in this batch from " + earlier->second;
    }
    return std::nullopt;
}

// Two images whose second begins within a fourteenth of the file's length of its middle.
bool isStereoPair(std::int64_t fileLength, std::int64_t secondStart) {
    return std::llabs(fileLength / 2 - secondStart) < fileLength / 14;
}

// The plan for an index read from a file, with the scan as the fallback.
SplitPlan planWithIndex(const MpIndex& index, std::int64_t fileLength, std::int64_t searchStart,
                        const std::function<std::int64_t(std::int64_t)>& findFrom) {
    if (index.state == MpIndexState::usable)
        return planFromIndex(index, fileLength);
    SplitPlan plan = planSplit(fileLength, searchStart, findFrom);
    if (index.state == MpIndexState::incomplete)
        plan.imagePastEnd = index.firstPastEnd;
    return plan;
}

// Whether the files at a and b hold the same bytes. A file that cannot be read holds none the
// other has.
bool holdsSameBytes(const fs::path& a, const fs::path& b) {
    std::error_code error;
    const auto sizeA = fs::file_size(a, error);
    if (error || sizeA != fs::file_size(b, error) || error)
        return false;
    std::ifstream streamA(a, std::ios::binary);
    std::ifstream streamB(b, std::ios::binary);
    constexpr std::size_t kBlock = 64 * 1024;
    const auto blockA = uninitialisedBuffer(kBlock);
    const auto blockB = uninitialisedBuffer(kBlock);
    for (std::uintmax_t left = sizeA; left > 0;) {
        const auto n = static_cast<std::streamsize>(std::min<std::uintmax_t>(left, kBlock));
        auto* dataA = reinterpret_cast<char*>(blockA.get());
        auto* dataB = reinterpret_cast<char*>(blockB.get());
        if (!streamA.read(dataA, n) || !streamB.read(dataB, n) ||
            std::memcmp(dataA, dataB, static_cast<std::size_t>(n)) != 0)
            return false;
        left -= static_cast<std::uintmax_t>(n);
    }
    return true;
}

// Why a file may not be split because of what its outputs would replace that is not ours to
// replace: the input itself under an output's name (a link, or solo.jpg on a disk that ignores
// case), or, for a file of one image, a different file already of its output's name. Stereo
// cameras save a 2D DSCF0001.JPG beside DSCF0001.MPO, which one image cut from the MPO would
// replace on every disk that ignores case; and the one image is a copy of the whole input, so
// nothing is lost by leaving that file be. Sets alreadyThere when the one image is there already
// (an earlier run wrote it): nothing then needs writing.
std::optional<std::string> refusalOfExisting(const fs::path& input, const std::string& name,
                                             const SplitPlan& plan,
                                             const std::vector<Output>& outputs,
                                             const BatchState& batch, bool& alreadyThere) {
    alreadyThere = false;
    const auto inputIdentity = identityOf(input);
    for (const Output& output : outputs)
        if (inputIdentity && (batch.sink->identityOf(output.target) == inputIdentity ||
                              batch.sink->isSameEntry(input, output.target)))
            return name + " not split: " + output.displayName + " is the file itself";
    if (plan.kind != SplitKind::oneImage)
        return std::nullopt; // an earlier run's -L, -R or -N is replaced
    const Output& output = outputs.front();
    const auto existing = batch.sink->existingName(output.target);
    if (!existing)
        return std::nullopt;
    const fs::path existingPath = output.target.parent_path() / *existing;
    if (holdsSameBytes(input, existingPath)) {
        alreadyThere = true;
        return std::nullopt;
    }
    const fs::path shown = pathFromUtf8(output.displayName).parent_path() / *existing;
    return name + " not split: a different " + utf8Text(shown) + " is already there";
}

// How the file open in buffer, which passed the size and header checks, is cut. A standard MPO
// file says where its images are; the scan serves files that do not, or whose index cannot be
// right. The index is read from the head that fill() read, and again from a longer one only
// when it may go on past that. On a read failure, error says why and the plan is not to be used.
SplitPlan planOpenFile(FileBuffer& buffer, std::int64_t searchStart, std::error_code& error) {
    const std::int64_t fileLength = buffer.length();
    const auto indexInHead = [&buffer, fileLength] {
        return readMpIndex(buffer.head(), fileLength,
                           [&buffer](std::int64_t offset) { return buffer.startsImageAt(offset); });
    };
    MpIndex index = indexInHead();
    if (index.headTooShort && !buffer.headIsWhole()) {
        if ((error = buffer.extendHead()))
            return {};
        index = indexInHead();
    }
    SplitPlan plan = planWithIndex(index, fileLength, searchStart, [&buffer](std::int64_t from) {
        return buffer.findImageStart(from);
    });
    error = buffer.readError();
    return plan;
}

} // namespace

// The next file of a batch, opened into a buffer of its own and planned for a search start
// while the file before it waits for the disk: the scan of a file without an index then costs
// the batch nothing the disk does not take anyway. The plan is made from the very file the
// buffer holds open, so it always fits the bytes its images are copied from.
struct FileAhead {
    fs::path input;
    std::int64_t searchStart = 0;
    FileBuffer buffer;
    std::optional<FileIdentity> identity; // of the file opened, the same before and after
    std::optional<SplitPlan> plan;        // none for a file the checks refuse, or a read failure

    void openAndPlan() {
        const auto before = identityOf(input);
        if (!before || whyPassedOver(input) || buffer.fill(input) || identityOf(input) != before)
            return;
        identity = before;
        if (isTooSmall(buffer.length(), searchStart) || !hasMpoHeader(buffer.header()))
            return;
        std::error_code error;
        SplitPlan planned = planOpenFile(buffer, searchStart, error);
        if (!error)
            plan = std::move(planned);
    }
};

namespace {

// Publishes the file's outputs; where that waits for the disk, the next file is opened and
// planned meanwhile, on a thread of its own that is done before this returns.
std::error_code publishOpeningNext(BatchState& batch, std::int64_t planSearchStart,
                                   std::size_t& failed, ExistingFile existing) {
#if !defined(__EMSCRIPTEN__) || defined(__EMSCRIPTEN_PTHREADS__)
    if (batch.sink->waitsForDisk() && !batch.nextInput.empty()) {
        auto ahead = std::make_shared<FileAhead>();
        ahead->input = batch.nextInput;
        ahead->searchStart = batch.searchStartCarriesOver ? planSearchStart : 0;
        ahead->buffer.setBlockSize(fileBuffer.blockSize());
        std::thread opening;
        try {
            opening = std::thread([&ahead = *ahead] { ahead.openAndPlan(); });
        } catch (const std::system_error&) {
            // No thread to be had: the next file is opened in its turn, as ever.
            return batch.sink->publish(existing, failed);
        }
        const std::error_code error = batch.sink->publish(existing, failed);
        opening.join();
        batch.ahead = std::move(ahead);
        return error;
    }
#else
    (void)planSearchStart;
#endif
    return batch.sink->publish(existing, failed);
}

} // namespace

std::error_code whyPassedOver(const fs::path& path) {
    std::error_code error;
    const auto status = fs::status(path, error);
    // A name that is no longer there is passed over. One that cannot be looked at (a folder
    // without search permission, a loop of links) is taken, so that opening it tells why.
    if (status.type() == fs::file_type::not_found)
        return error ? error : std::make_error_code(std::errc::no_such_file_or_directory);
    if (error)
        return isHidden(path) ? make_error_code(Refusal::hiddenFile) : std::error_code();
    if (!fs::is_regular_file(status))
        return make_error_code(Refusal::notRegularFile);
    // Hidden files are passed over like missing ones, as the file list never shows them.
    if (isHidden(path))
        return make_error_code(Refusal::hiddenFile);
    return {};
}

bool isTooSmall(std::int64_t fileLength, std::int64_t searchStart) {
    return !(searchStart + 100 < fileLength);
}

bool hasMpoHeader(std::span<const std::uint8_t> bytes) {
    return bytes.size() >= 4 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF &&
           bytes[3] == 0xE1;
}

SplitPlan planSplit(std::int64_t fileLength, std::int64_t searchStart,
                    const std::function<std::int64_t(std::int64_t)>& findFrom) {
    SplitPlan plan;
    plan.searchStart = searchStart;

    const std::int64_t secondStart = findFrom(searchStart + 1);
    if (secondStart == 0) {
        plan.kind = SplitKind::oneImage;
        plan.chunks.push_back({0, fileLength - 1, ""});
        return plan;
    }

    if (isStereoPair(fileLength, secondStart)) {
        // A stereo pair: everything from the second start to the end is the right image.
        plan.kind = SplitKind::stereoPair;
        plan.chunks.push_back({0, secondStart - 1, "-L"});
        plan.chunks.push_back({secondStart, fileLength - 1, "-R"});
        plan.searchStart = (secondStart / 3) * 2;
        return plan;
    }

    plan.kind = SplitKind::multiImage;
    planMultiImage(fileLength, secondStart, findFrom, plan);
    return plan;
}

SplitPlan planFromIndex(const MpIndex& index, std::int64_t fileLength) {
    const std::vector<std::int64_t>& starts = index.starts;
    SplitPlan plan;
    plan.searchStart = (starts[1] / 3) * 2;
    // An index that types both images as the views of a stereo pair is believed wherever the
    // second begins: a pair whose pictures compress to very different sizes stays a pair.
    const bool stereo =
        starts.size() == 2 && (indexesStereoPair(index) || isStereoPair(fileLength, starts[1]));
    plan.kind = stereo ? SplitKind::stereoPair : SplitKind::multiImage;
    if (starts.size() > kMostImages) {
        plan.tooManyImages = true;
        return plan;
    }
    for (std::size_t k = 0; k < starts.size(); ++k) {
        const std::int64_t last = k + 1 < starts.size() ? starts[k + 1] - 1 : fileLength - 1;
        const std::string suffix = stereo ? (k == 0 ? "-L" : "-R") : numberedSuffix(k + 1);
        plan.chunks.push_back({starts[k], last, suffix});
    }
    return plan;
}

SplitPlan planSplit(std::span<const std::uint8_t> bytes, std::int64_t searchStart) {
    const auto fileLength = static_cast<std::int64_t>(bytes.size());
    return planWithIndex(readMpIndex(bytes), fileLength, searchStart,
                         [bytes](std::int64_t from) { return findImageStart(bytes, from); });
}

std::string outputName(const std::string& name, const std::string& suffix) {
    return dropLastCharacters(name, 4) + suffix + ".jpg";
}

void splitFile(const fs::path& folder, const std::string& name, std::int64_t fileIndex,
               BatchState& batch, BatchReporter& reporter) {
    const fs::path input = folder / pathFromUtf8(name);
    if (whyPassedOver(input))
        return;

    // Taken up as it was opened and planned while the file before waited for the disk, if it
    // was; a file put in its place since (another renamed onto its name) is opened afresh.
    const std::shared_ptr<FileAhead> ahead = std::exchange(batch.ahead, nullptr);
    const bool takenUp =
        ahead && ahead->input == input && ahead->identity && identityOf(input) == ahead->identity;
    if (takenUp) {
        fileBuffer.swap(ahead->buffer);
    } else if (const std::error_code error = fileBuffer.fill(input)) {
        reporter.showMessage(describeFailure("Cannot read", name, error));
        return;
    }
    // Let go of the input when done, so that its disk can be unmounted while the window is open.
    const struct ReleaseInput {
        ~ReleaseInput() { fileBuffer.release(); }
    } releaseInput;

    const std::int64_t fileLength = fileBuffer.length();
    if (isTooSmall(fileLength, batch.searchStart)) {
        reporter.showMessage(name + " too small to be a valid file");
        return;
    }
    if (!hasMpoHeader(fileBuffer.header())) {
        reporter.showMessage(name + " is not a valid MPO file");
        return;
    }

    std::error_code readError;
    const SplitPlan plan = takenUp && ahead->plan && ahead->searchStart == batch.searchStart
                               ? *ahead->plan
                               : planOpenFile(fileBuffer, batch.searchStart, readError);
    if (readError) {
        reporter.showMessage(describeFailure("Cannot read", name, readError));
        return;
    }
    if (plan.tooManyImages) {
        reporter.showMessage(name + " not split: it would give more than " +
                             std::to_string(kMostImages) + " images");
        return;
    }
    const std::vector<Output> outputs = outputsFor(folder, name, plan);
    if (const auto message = collisionMessage(name, outputs, batch)) {
        reporter.showMessage(*message);
        return;
    }
    bool alreadyThere = false;
    if (const auto message = refusalOfExisting(input, name, plan, outputs, batch, alreadyThere)) {
        reporter.showMessage(*message);
        return;
    }

    batch.searchStart = plan.searchStart;
    // A file is split whole or not at all: its images are written unnamed first and named
    // together once every one is complete, so a failure (a full disk, a folder in the way of
    // the last name) leaves no new output and earlier outputs of those names as they were.
    std::vector<FileIdentity> written(plan.chunks.size());
    for (std::size_t i = 0; i < plan.chunks.size(); ++i) {
        const Chunk& chunk = plan.chunks[i];
        reporter.setStatus(statusText(fileIndex, i + 1));
        const auto there = alreadyThere ? batch.sink->identityOf(outputs[i].target) : std::nullopt;
        if (there) {
            written[i] = *there;
        } else if (const std::error_code error = batch.sink->save(name, chunk.first, chunk.last,
                                                                  outputs[i].target, written[i])) {
            batch.sink->discard();
            // One message per file: after a full disk, the next image would only fail again.
            reporter.showMessage(describeFailure("Cannot write", outputs[i].displayName, error));
            return;
        }
    }
    // A one-image output is a copy of the whole input: it never replaces what is there, not even
    // a file that took its name while the copy was being written.
    const ExistingFile existing =
        plan.kind == SplitKind::oneImage ? ExistingFile::keep : ExistingFile::replace;
    std::size_t failed = 0;
    const std::error_code publishError =
        publishOpeningNext(batch, plan.searchStart, failed, existing);
    if (const std::error_code error = publishError) {
        bool sameBytes = false;
        const auto refusal = existing == ExistingFile::keep && error == std::errc::file_exists
                                 ? refusalOfExisting(input, name, plan, outputs, batch, sameBytes)
                                 : std::nullopt;
        const auto there = sameBytes ? batch.sink->identityOf(outputs[0].target) : std::nullopt;
        if (refusal) {
            reporter.showMessage(*refusal);
            return;
        }
        if (!there) {
            reporter.showMessage(
                describeFailure("Cannot write", outputs[failed].displayName, error));
            return;
        }
        written[0] = *there; // the same bytes, written meanwhile by another run
    }
    // As the folder now answers for each name: a card driver may give a name another identity
    // than the file had while it was written, and later files are checked by name.
    for (std::size_t i = 0; i < written.size(); ++i)
        written[i] = batch.sink->identityOf(outputs[i].target).value_or(written[i]);
    for (const FileIdentity& identity : written) {
        ++batch.totalImages;
        batch.written[identity] = name;
    }
    if (plan.imagePastEnd != 0) {
        reporter.showMessage(name + " may be incomplete: its index puts image " +
                             std::to_string(plan.imagePastEnd) + " past the end of the file");
        return;
    }
    // A copy cut short inside its last image (a card pulled during the camera's write) splits
    // like any file, but must not pass for a whole one.
    const Chunk& lastChunk = plan.chunks.back();
    if (!fileBuffer.imageLooksWhole(lastChunk.first, lastChunk.last))
        reporter.showMessage(name + " may be incomplete: image " +
                             std::to_string(plan.chunks.size()) + " ends before its end marker");
}

} // namespace twinframe
