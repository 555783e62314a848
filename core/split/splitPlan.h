#pragma once

#include "format/mpIndex.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

// How a file is cut into images, from its length and what its bytes say (its index, or the
// scan for image starts): nothing here reads a file but through the search it is given.

namespace twinframe {

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

// The plan for a file whose index was read (see readMpIndex): at the index's starts when it is
// usable, otherwise by scanning with findFrom; a cut-short index is noted in imagePastEnd.
SplitPlan planWithIndex(const MpIndex& index, std::int64_t fileLength, std::int64_t searchStart,
                        const std::function<std::int64_t(std::int64_t from)>& findFrom);

// How splitFile cuts a file whose bytes are in memory: at its index's starts when the index is
// usable, otherwise by scanning.
SplitPlan planSplit(std::span<const std::uint8_t> bytes, std::int64_t searchStart);

} // namespace twinframe
