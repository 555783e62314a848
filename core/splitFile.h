#pragma once

#include "BatchReporter.h"
#include "ChunkSink.h"
#include "fileSystem.h"
#include "mpIndex.h"

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

enum class SplitKind { oneImage, stereoPair, multiImage };

// No camera writes more than a few dozen images into one file. A file that would give more is
// crafted or broken, and splitting it could fill a disk from one small file (every four bytes
// of FF D8 FF E1 a new output), so it is not split at all.
inline constexpr std::size_t kMostImages = 1000;

// One output: an inclusive byte range of the input and what its name ends in before ".jpg".
struct Chunk {
    std::int64_t first = 0;
    std::int64_t last = 0;
    std::string suffix;
};

struct SplitPlan {
    SplitKind kind = SplitKind::oneImage;
    std::vector<Chunk> chunks;
    std::int64_t searchStart = 0; // the batch's search start once this file is done
    // The file's own index puts this image (numbered from 1) past its end: the file was cut
    // short, and the user is told once its outputs are written. 0 when it does not.
    std::size_t imagePastEnd = 0;
    // The file would give more than kMostImages images: chunks then holds only some of them,
    // and the file is not split.
    bool tooManyImages = false;
};

// Too small to split: not more than searchStart + 100 bytes.
bool isTooSmall(std::int64_t fileLength, std::int64_t searchStart);

// An MPO file starts with a JPEG start-of-image marker directly followed by an Exif (APP1) marker.
bool hasMpoHeader(std::span<const std::uint8_t> bytes);

// How a file of fileLength bytes that passed the size and header checks is cut into images.
// findFrom(from) answers as findImageStart does over the file's bytes.
SplitPlan planSplit(std::int64_t fileLength, std::int64_t searchStart,
                    const std::function<std::int64_t(std::int64_t from)>& findFrom);

// How a file of fileLength bytes is cut at the starts of a usable index: image k runs up to the
// byte before image k + 1 begins, and the last to the end of the file, so padding between images
// stays with the image before it, as the scan leaves it. Two images make a stereo pair when the
// index types both as disparity views, or else when the second begins near the middle.
SplitPlan planFromIndex(const MpIndex& index, std::int64_t fileLength);

// How splitFile cuts a file whose bytes are in memory: at its index's starts when the index is
// usable, otherwise by scanning.
SplitPlan planSplit(std::span<const std::uint8_t> bytes, std::int64_t searchStart);

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
