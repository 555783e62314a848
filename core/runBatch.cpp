#include "runBatch.h"

#include "failure.h"
#include "splitFile.h"

#include <vector>

namespace twinframe {

namespace {

namespace fs = std::filesystem;

std::vector<std::string> selectedNamesOf(std::span<const FileEntry> fileList) {
    std::vector<std::string> names;
    for (const FileEntry& entry : fileList)
        if (entry.selected)
            names.push_back(entry.name);
    return names;
}

// The folder every name is resolved against; a folder that is gone or not a folder is told once.
std::error_code checkFolder(const std::filesystem::path& directory) {
    std::error_code error;
    const auto status = std::filesystem::status(directory, error);
    if (error)
        return error;
    if (!std::filesystem::is_directory(status))
        return std::make_error_code(std::errc::not_a_directory);
    return {};
}

} // namespace

BatchResult runBatch(std::span<const FileEntry> fileList, const std::filesystem::path& directory,
                     const std::function<bool()>& speedHack, BatchReporter& reporter,
                     const std::function<bool()>& stopRequested, ChunkSink& sink) {
    const std::vector<std::string> selectedNames = selectedNamesOf(fileList);
    BatchResult result;
    result.selectedCount = static_cast<std::int64_t>(selectedNames.size());
    if (selectedNames.empty()) {
        reporter.showMessage("No files selected");
        return result;
    }

    // Names are resolved against the folder explicitly rather than by changing the process's
    // current directory, which other threads of a program may rely on.
    const std::filesystem::path folder = directory.empty() ? pathFromUtf8(".") : directory;
    if (const std::error_code error = checkFolder(folder)) {
        reporter.showMessage(describeFailure("Cannot open folder", utf8Text(directory), error));
        return result;
    }

    BatchState batch;
    batch.sink = &sink;
    std::int64_t fileIndex = 0;
    for (const std::string& name : selectedNames) {
        if (fileIndex > 0 && stopRequested && stopRequested()) {
            result.stopped = true;
            break;
        }
        ++fileIndex;
        reporter.setStatus("File: " + std::to_string(fileIndex));
        reporter.startFile(fileIndex, result.selectedCount);
        batch.searchStartCarriesOver = speedHack();
        if (!batch.searchStartCarriesOver)
            batch.searchStart = 0;
        const auto next = static_cast<std::size_t>(fileIndex);
        batch.nextInput =
            next < selectedNames.size() ? folder / pathFromUtf8(selectedNames[next]) : fs::path();
        splitFile(folder, name, fileIndex, batch, reporter);
    }
    // Before the summary: every output it counts is on the disk under its name.
    std::filesystem::path unflushed;
    if (const std::error_code error = sink.makeDurable(unflushed))
        reporter.showMessage(describeFailure("Cannot write", utf8Text(unflushed), error));
    result.filesDealtWith = fileIndex;
    result.totalImages = batch.totalImages;
    return result;
}

std::string summaryText(const BatchResult& result) {
    const std::int64_t processed = result.stopped ? result.filesDealtWith : result.selectedCount;
    std::string text = "Files processed: " + std::to_string(processed) + "\r" +
                       "Total images: " + std::to_string(result.totalImages);
    if (result.stopped)
        text += "\rStopped after file " + std::to_string(result.filesDealtWith) + " of " +
                std::to_string(result.selectedCount);
    return text;
}

} // namespace twinframe
