#pragma once

// Two views of one scene as a stereo camera takes them, for the side-by-side command's tests:
// real JPEG pictures (JpegPictures.h), and their stereo MPO as the project's own join makes it.
#include "JpegPictures.h"
#include "MpoBuilder.h"
#include "join/joinPlan.h"
#include "split/splitPlan.h"

#include <filesystem>
#include <string>
#include <utility>

namespace twinframe::test {

struct StereoViews {
    // Whole 4:2:0 blocks, each picture of pixels of its own, with an Exif as cameras write it.
    Bytes left =
        encodeJpeg(madeUpPixels(64, 48, 3, 1), {.exif = ExifRecipe{.width = 64, .height = 48}});
    Bytes right =
        encodeJpeg(madeUpPixels(64, 48, 3, 2), {.exif = ExifRecipe{.width = 64, .height = 48}});
    // What each picture decodes to: a side-by-side picture's halves must decode to the same.
    Pixels leftPixels = decodeJpeg(left);
    Pixels rightPixels = decodeJpeg(right);

    Bytes mpo() const {
        const JoinPlan plan = planJoin(readJoinInput(left), readJoinInput(right));
        return joinedBytes(plan, left, right);
    }
    // The pair as NAME-L.jpg and NAME-R.jpg in dir.
    void writePictures(const TempDir& dir, const std::string& name) const {
        writeBytes(dir / (name + "-L.jpg"), left);
        writeBytes(dir / (name + "-R.jpg"), right);
    }
};

// The pixels of a side-by-side file: its left half, then its right half.
inline std::pair<Pixels, Pixels> halvesOf(const std::filesystem::path& file) {
    const Pixels whole = decodeJpeg(readBytes(file));
    return {whole.columns(0, whole.width / 2), whole.columns(whole.width / 2, whole.width / 2)};
}

// The pixels of the left and right pictures of an MPO file, found as the split finds them.
inline std::pair<Pixels, Pixels> viewsOf(const std::filesystem::path& file) {
    const Bytes bytes = readBytes(file);
    const SplitPlan plan = planSplit(bytes, 0);
    if (plan.kind != SplitKind::stereoPair)
        return {};
    const auto picture = [&](const Chunk& chunk) {
        return decodeJpeg(
            std::span(bytes).subspan(static_cast<std::size_t>(chunk.first),
                                     static_cast<std::size_t>(chunk.last - chunk.first + 1)));
    };
    return {picture(plan.chunks[0]), picture(plan.chunks[1])};
}

} // namespace twinframe::test
