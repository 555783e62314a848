#pragma once

#include "platform/fileSystem.h"
#include "split/BatchReporter.h"
#include "split/ChunkSink.h"
#include "split/splitPlan.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace twinframe {

struct FileAhead; // the next file, opened and planned ahead of its turn (splitFile.cpp)

// What one batch carries from file to file.
struct BatchState {
    // Where the next file's scan starts (plus one) under the multi-file speed hack: two thirds of
    // the first image of the last file that held more than one image.
    std::int64_t searchStart = 0;
    std::int64_t totalImages = 0;
    // Every output this batch has written, with the listed name of the file it came from, so that
    // a later file never overwrites an earlier file's image (a.mpo and a.MPO on Linux both want
    // a-L.jpg; x.mpo and x-1.mpo both want x-1.jpg).
    std::map<FileIdentity, std::string> written;
    ChunkSink* sink = &fileChunkSink(); // where the images go
    // The file the batch splits after this one (empty when none), and whether this one's search
    // start carries over to it (the speed hack): while a file's outputs wait for the disk, the
    // next file is opened and planned beside them, and taken up when its turn comes.
    std::filesystem::path nextInput;
    bool searchStartCarriesOver = false;
    std::shared_ptr<FileAhead> ahead;
};

// The listed name without its last four characters (whatever they are), then suffix and ".jpg".
std::string outputName(const std::string& name, const std::string& suffix);

// Why a batch passes over the file at path without a word, or no error when it takes it: it
// takes a regular file (or a link to one) that is not hidden, and a name it cannot look at
// (whose opening then tells why); it passes over a name that is not there.
std::error_code whyPassedOver(const std::filesystem::path& path);

// Splits the file name (as listed, relative to folder) into JPEG files beside it, reporting
// progress and problems through reporter and updating the batch's search start and image total.
// A name that is no longer there, or is not a visible regular file, is passed over without a
// word; one that cannot be opened or read is told, "Cannot read NAME: REASON".
void splitFile(const std::filesystem::path& folder, const std::string& name, std::int64_t fileIndex,
               BatchState& batch, BatchReporter& reporter);

} // namespace twinframe
