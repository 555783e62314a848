// The page's core run under node on the real disk, for the page's tests:
//   twinframe-web-cli FOLDER NAME...         splits as twinframe-cli does, writing the files
//   twinframe-web-cli --plan FOLDER NAME...  writes nothing, prints each output's byte range
// Prints every status text, message and the summary, one per line, tagged.
#include "WebChunkSink.h"
#include "split/runBatch.h"

#include <algorithm>
#include <cstring>
#include <iostream>
#include <vector>

using namespace twinframe;

namespace {

class PrintingReporter : public BatchReporter {
  public:
    void setStatus(const std::string& text) override { std::cout << "status: " << text << "\n"; }
    void showMessage(const std::string& text) override { std::cout << "message: " << text << "\n"; }
};

} // namespace

int main(int argc, char** argv) {
    int next = 1;
    const bool plan = argc > 1 && std::strcmp(argv[1], "--plan") == 0;
    next += plan ? 1 : 0;
    if (argc - next < 1) {
        std::cerr << "usage: twinframe-web-cli [--plan] FOLDER NAME...\n";
        return 2;
    }
    const std::filesystem::path folder = argv[next++];
    std::vector<FileEntry> fileList;
    for (; next < argc; ++next)
        fileList.push_back({argv[next], true});

    PrintingReporter reporter;
    WebChunkSink pageSink;
    ChunkSink& sink = plan ? static_cast<ChunkSink&>(pageSink) : fileChunkSink();
    const BatchResult result = runBatch(
        fileList, folder, [] { return false; }, reporter, {}, sink);
    for (const PlannedOutput& output : pageSink.outputs())
        std::cout << "output: " << output.name << " " << output.first << " " << output.last << "\n";
    std::string summary = summaryText(result);
    std::replace(summary.begin(), summary.end(), '\r', '|');
    std::cout << "summary: " << summary << "\n";
    return 0;
}
