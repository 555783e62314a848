// Feeds arbitrary bytes to a batch as one to three MPO files and holds the result to what must
// be true of every split: an accepted file's outputs, joined in order, are exactly its bytes and
// are cut where the in-memory plan says (at its MP index's starts when it has a usable one); a
// usable index points only at image starts; a refused file writes nothing; the image total counts
// the files written; no temporary file is left behind.
//
// The first byte of the input chooses the batch: bit 0 the speed hack, bits 1-2 how many files
// (1 to 3), bits 3-7 how large a block the scan reads (small blocks cross many boundaries).
// For several files, the next two bytes say where the rest is cut.
#include "format/mpIndex.h"
#include "invariant.h"
#include "split/BatchReporter.h"
#include "split/runBatch.h"
#include "split/saveChunkCode.h"
#include "split/splitFile.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace twinframe;
using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kMostOutputs = 8;

class CountingReporter : public BatchReporter {
  public:
    void setStatus(const std::string&) override {}
    void showMessage(const std::string& text) override { messages.push_back(text); }
    std::vector<std::string> messages;
};

using fuzz::fail;

// Kept in memory where the machine allows, since every input writes files. The path is never
// destroyed: the clean-up at exit runs after function-local statics are gone, and an empty path
// there would leave the folder behind.
const fs::path& scratchFolder() {
    static const fs::path* const folder = [] {
        const fs::path base =
            fs::exists("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
        auto* made = new fs::path(base / ("twinframe-fuzz-" + std::to_string(::getpid())));
        fs::create_directories(*made);
        std::atexit([] {
            std::error_code ignored;
            fs::remove_all(scratchFolder(), ignored);
        });
        return made;
    }();
    return *folder;
}

void writeFile(const fs::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out.flush())
        fail("cannot write " + path.string());
}

Bytes readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

std::vector<Bytes> filesOf(const std::uint8_t* data, std::size_t size, int count) {
    std::vector<Bytes> files;
    if (count == 1 || size < 2) {
        files.emplace_back(data, data + size);
        return files;
    }
    const std::size_t body = size - 2;
    std::vector<std::size_t> cuts = {0, body * data[0] / 255, body * data[1] / 255, body};
    std::sort(cuts.begin(), cuts.end());
    if (count == 2)
        cuts.erase(cuts.begin() + 1);
    for (std::size_t i = 0; i + 1 < cuts.size(); ++i)
        files.emplace_back(data + 2 + cuts[i], data + 2 + cuts[i + 1]);
    return files;
}

// A usable index never points anywhere but at image starts, in order, inside the file. And an
// index read from the file's first bytes alone is the whole file's answer, unless it says that
// more bytes might change it: the batch reads little of each file first and relies on that.
void checkIndex(const Bytes& bytes) {
    const MpIndex index = readMpIndex(bytes);
    const std::size_t cut = bytes.empty() ? 0 : bytes.size() * bytes.back() / 255;
    const auto length = static_cast<std::int64_t>(bytes.size());
    const MpIndex early =
        readMpIndex(std::span(bytes).first(cut), length, [&](std::int64_t offset) {
            const auto at = static_cast<std::size_t>(offset);
            return at + 2 <= bytes.size() && bytes[at] == 0xFF && bytes[at + 1] == 0xD8;
        });
    if (!early.headTooShort &&
        (early.state != index.state || early.starts != index.starts || early.sizes != index.sizes))
        fail("an index read from the first bytes differs from the whole file's");
    if (index.state != MpIndexState::usable)
        return;
    std::int64_t previous = -1;
    for (const std::int64_t start : index.starts) {
        const auto at = static_cast<std::size_t>(start);
        if (start <= previous || at + 2 > bytes.size() || bytes[at] != 0xFF ||
            bytes[at + 1] != 0xD8)
            fail("a usable index points at no image start");
        previous = start;
    }
}

// What the batch should do with each file, worked out in memory: no plan for a refused file.
std::vector<std::optional<SplitPlan>> expectedPlans(const std::vector<Bytes>& files,
                                                    bool speedHack) {
    std::vector<std::optional<SplitPlan>> plans;
    std::int64_t searchStart = 0;
    for (const Bytes& bytes : files) {
        if (!speedHack)
            searchStart = 0;
        if (isTooSmall(static_cast<std::int64_t>(bytes.size()), searchStart) ||
            !hasMpoHeader(bytes)) {
            plans.emplace_back();
            continue;
        }
        checkIndex(bytes);
        const SplitPlan plan = planSplit(bytes, searchStart);
        if (plan.tooManyImages) { // refused whole, before its first image
            plans.emplace_back();
            continue;
        }
        plans.push_back(plan);
        searchStart = plan.searchStart;
    }
    return plans;
}

// Checks one file's outputs against its plan and adds their names to expected.
void checkFile(const fs::path& folder, const std::string& name, const Bytes& bytes,
               const SplitPlan& plan, std::set<std::string>& expected) {
    Bytes joined;
    for (const Chunk& chunk : plan.chunks) {
        const std::string output = outputName(name, chunk.suffix);
        expected.insert(output);
        const Bytes part = readFile(folder / output);
        if (part != Bytes(bytes.begin() + chunk.first, bytes.begin() + chunk.last + 1))
            fail(name + ": " + output + " is not its byte range");
        joined.insert(joined.end(), part.begin(), part.end());
    }
    if (joined != bytes)
        fail(name + ": outputs joined are not the input");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::uint8_t mode = data[0];
    const bool speedHack = (mode & 1) != 0;
    const int count = 1 + ((mode >> 1) & 3) % 3;
    fileBuffer.setBlockSize(16 + 32 * static_cast<std::size_t>(mode >> 3));
    const fs::path& folder = scratchFolder();

    const std::vector<Bytes> files = filesOf(data + 1, size - 1, count);
    const auto plans = expectedPlans(files, speedHack);
    std::size_t outputs = 0;
    for (const auto& plan : plans)
        outputs += plan ? plan->chunks.size() : 0;
    // Every output costs several file operations; inputs that would write dozens of images
    // teach the fuzzer nothing that a few do not, so they are left out to keep it fast.
    if (outputs > kMostOutputs)
        return -1;

    std::vector<FileEntry> list;
    for (std::size_t i = 0; i < files.size(); ++i) {
        // Appended rather than "f" + ...: GCC 12 warns falsely (-Wrestrict) about that once
        // inlined.
        std::string name = "f";
        name += std::to_string(i);
        list.push_back({name + ".mpo", true});
        writeFile(folder / list.back().name, files[i]);
    }

    CountingReporter reporter;
    const BatchResult result = runBatch(
        list, folder, [speedHack] { return speedHack; }, reporter);

    std::set<std::string> expected;
    for (std::size_t i = 0; i < files.size(); ++i) {
        expected.insert(list[i].name);
        if (plans[i])
            checkFile(folder, list[i].name, files[i], *plans[i], expected);
    }
    if (result.selectedCount != static_cast<std::int64_t>(files.size()))
        fail("wrong file count");
    if (result.totalImages != static_cast<std::int64_t>(outputs))
        fail("image total is not the number of files written");
    // Nothing else may be there: no output of a refused file, no temporary left behind.
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (!expected.contains(entry.path().filename().string()))
            fail("unexpected file " + entry.path().filename().string());
        fs::remove(entry.path());
    }
    return 0;
}
