#pragma once

#include "split/BatchReporter.h"
#include "split/ChunkSink.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>

namespace twinframe {

// One entry of the file list: a name relative to the batch's folder, and whether it is selected.
struct FileEntry {
    std::string name;
    bool selected = false;
};

struct BatchResult {
    std::int64_t selectedCount = 0;  // every selected file, whether or not it could be split
    std::int64_t filesDealtWith = 0; // selected files the batch went through before it ended
    std::int64_t totalImages = 0;    // images actually written
    bool stopped = false;            // asked to stop, with selected files left untouched
};

// Splits every selected entry of fileList, in list order, each beside itself in directory.
// speedHack is asked afresh before each file: when it says no, the file is searched as if it
// were alone in the batch. The process's current directory is never changed.
// stopRequested (when given) is asked between two files, never while one is being split, so a
// stopped batch leaves every file it went through wholly split and the others untouched.
// The images go to sink: by default, files beside their input.
BatchResult runBatch(std::span<const FileEntry> fileList, const std::filesystem::path& directory,
                     const std::function<bool()>& speedHack, BatchReporter& reporter,
                     const std::function<bool()>& stopRequested = {},
                     ChunkSink& sink = fileChunkSink());

// "Files processed: N", a carriage return, "Total images: M"; for a stopped batch N counts the
// files dealt with, and a carriage return and "Stopped after file K of N" follow.
std::string summaryText(const BatchResult& result);

} // namespace twinframe
