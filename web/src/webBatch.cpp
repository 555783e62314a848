// The page's entry into the core: one batch over the files the page mounted in a folder, with a
// reporter that hands status texts and messages to the page and a sink that hands it the byte
// range of every output; and the joining of pairs of pictures, each joined file handed to the
// page as its plan. Runs in the page's worker.
#include "WebChunkSink.h"
#include "asciiCase.h"
#include "join/joinBatch.h"
#include "split/runBatch.h"
#include "split/saveChunkCode.h"

#include <emscripten.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

namespace {

using namespace twinframe;

// The worker sets these on the module before it starts a batch.
EM_JS(void, postStatus, (const char* text), { Module["onStatus"](UTF8ToString(text)); });
EM_JS(void, postMessageText, (const char* text), { Module["onMessage"](UTF8ToString(text)); });
EM_JS(void, postOutput, (const char* input, const char* name, double first, double last),
      { Module["onOutput"](UTF8ToString(input), UTF8ToString(name), first, last); });
EM_JS(void, postDone, (double selectedCount, double totalImages, const char* summary),
      { Module["onDone"](selectedCount, totalImages, UTF8ToString(summary)); });
// A joined file: the bytes the join made, and its pieces as (source, first, end) triples, the
// source 0 for the made bytes, 1 for the left picture and 2 for the right.
EM_JS(void, postJoined,
      (const char* output, const char* left, const char* right, const std::uint8_t* made,
       double madeSize, const double* pieces, double pieceCount),
      {
          Module["onJoined"](
              UTF8ToString(output), UTF8ToString(left), UTF8ToString(right),
              HEAPU8.slice(made, made + madeSize),
              Array.from(HEAPF64.subarray(pieces >> 3, (pieces >> 3) + pieceCount * 3)));
      });
EM_JS(void, postJoinDone, (const char* summary), { Module["onJoinDone"](UTF8ToString(summary)); });
// The check box lives in the page, which tells the worker of every change; so the speed hack is
// asked afresh before each file, as the window does. The worker hears the page whenever the
// batch waits for a read, which every file does.
EM_JS(int, askSpeedHack, (), { return Module["askSpeedHack"]() ? 1 : 0; });
// Whether the page's Stop was pressed; the batch asks between two files.
EM_JS(int, stopWanted, (), { return Module["stopRequested"]() ? 1 : 0; });

std::vector<FileEntry> fileList;
WebChunkSink noOutputs; // a join's reporter has no split outputs to pass on

// The scan reads the page's files in larger blocks than a disk's: each read costs the browser
// about a millisecond besides its bytes, so a file without an index is scanned in two or three
// reads rather than eight (200 such files: 6.5 s with 256 KiB blocks, 4.5 s with these).
constexpr std::size_t kPageBlockSize = 1024 * 1024;

class PageReporter : public BatchReporter {
  public:
    explicit PageReporter(WebChunkSink& sink) : sink_(sink) {}

    void setStatus(const std::string& text) override {
        passOnOutputs();
        postStatus(text.c_str());
    }

    void showMessage(const std::string& text) override {
        passOnOutputs();
        postMessageText(text.c_str());
    }

    // Outputs go to the page as soon as the next text does, so links appear while the batch runs.
    void passOnOutputs() {
        for (const PlannedOutput& output : sink_.outputs())
            postOutput(output.input.c_str(), output.name.c_str(), static_cast<double>(output.first),
                       static_cast<double>(output.last));
        sink_.outputs().clear();
    }

  private:
    WebChunkSink& sink_;
};

double sourceCode(JoinSource source) {
    switch (source) {
    case JoinSource::made:
        return 0;
    case JoinSource::left:
        return 1;
    case JoinSource::right:
        return 2;
    }
    return 0;
}

// Plans each pair as the command line's join reads it, and hands the plan to the page, which
// makes the file of the plan's bytes and slices of the two pictures: nothing is written here.
// As the command line never replaces a file, a second pair of one name (in any letter case, as
// the downloads folder may ignore case) is refused rather than offered twice.
class PageJoin {
  public:
    JoinResult operator()(const std::filesystem::path& left, const std::filesystem::path& right,
                          const std::filesystem::path& output) {
        if (offered_.count(asciiLowered(output.string())) > 0)
            return {outputExistsText(output)};
        JoinPlan plan;
        JoinResult result = planPair(left, right, output, plan);
        if (!result.joined())
            return result;
        offered_.insert(asciiLowered(output.string()));
        std::vector<double> pieces;
        for (const JoinPiece& piece : plan.pieces) {
            pieces.push_back(sourceCode(piece.source));
            pieces.push_back(static_cast<double>(piece.range.first));
            pieces.push_back(static_cast<double>(piece.range.end));
        }
        postJoined(output.string().c_str(), left.string().c_str(), right.string().c_str(),
                   plan.made.data(), static_cast<double>(plan.made.size()), pieces.data(),
                   static_cast<double>(plan.pieces.size()));
        return result;
    }

  private:
    std::set<std::string> offered_; // case-folded names of the files offered in this join
};

} // namespace

extern "C" {

EMSCRIPTEN_KEEPALIVE void clearFileList() {
    fileList.clear();
}

EMSCRIPTEN_KEEPALIVE void addFileEntry(const char* name, int selected) {
    fileList.push_back({name, selected != 0});
}

// Splits the selected entries of the file list, resolved against folder. Returns when the batch
// is done, after the page has been told its summary.
EMSCRIPTEN_KEEPALIVE void runPageBatch(const char* folder) {
    fileBuffer.setBlockSize(kPageBlockSize);
    WebChunkSink sink;
    PageReporter reporter(sink);
    const BatchResult result = runBatch(
        fileList, folder, [] { return askSpeedHack() != 0; }, reporter,
        [] { return stopWanted() != 0; }, sink);
    reporter.passOnOutputs();
    const std::string summary = result.selectedCount > 0 ? summaryText(result) : std::string();
    postDone(static_cast<double>(result.selectedCount), static_cast<double>(result.totalImages),
             summary.c_str());
}

// Joins the pairs among the entries of the file list (all of them, in their order), whose files
// the page mounted in the current folder, so that texts name them as the page lists them. A right
// picture whose left is listed too goes with that pair, as in the command line's --join.
EMSCRIPTEN_KEEPALIVE void runPageJoin() {
    std::vector<std::string> names;
    for (const FileEntry& entry : fileList)
        names.push_back(entry.name);
    const std::vector<std::string> lefts = withoutPairedRights(names);
    PageReporter reporter(noOutputs);
    PageJoin offer;
    const JoinBatchResult joined = joinPairs(lefts, std::nullopt, reporter, {}, std::ref(offer));
    postJoinDone(joinSummaryText(joined).c_str());
}

} // extern "C"
