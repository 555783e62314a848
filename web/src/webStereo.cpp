// The page's side-by-side pictures: a module of its own (twinframe-stereo), as libjpeg is most of
// it and the page needs it only when the viewer saves a pair, so the page's first load never
// carries it. Runs in stereo-worker.js, which hands it the two pictures' bytes.
#include "stereo/sideBySide.h"

#include <emscripten.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

using namespace twinframe;

// The worker puts the two pictures on the module (Module.pictures) before it asks, and takes the
// answer from Module.onSideBySide: the picture's bytes (empty when refused), why it was refused,
// and what it lost.
EM_JS(void, copyPicture, (int which, std::uint8_t* into),
      { HEAPU8.set(Module["pictures"][which], into); });
EM_JS(void, postSideBySide,
      (const std::uint8_t* jpeg, double size, const char* problem, const char* note), {
          Module["onSideBySide"](HEAPU8.slice(jpeg, jpeg + size), UTF8ToString(problem),
                                 UTF8ToString(note));
      });

std::vector<std::uint8_t> picture(int which, double size) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    copyPicture(which, bytes.data());
    return bytes;
}

} // namespace

extern "C" {

// The side-by-side picture of the pictures the worker put on the module, the left picture's of
// leftSize bytes, the right's of rightSize, named in messages as leftName and rightName: the
// right picture on the left (cross-eyed) unless parallel.
EMSCRIPTEN_KEEPALIVE void makePageSideBySide(double leftSize, const char* leftName,
                                             double rightSize, const char* rightName,
                                             int parallel) {
    const std::vector<std::uint8_t> left = picture(0, leftSize);
    const std::vector<std::uint8_t> right = picture(1, rightSize);
    const SideBySide made =
        makeSideBySide({left, leftName}, {right, rightName},
                       parallel != 0 ? StereoOrder::parallel : StereoOrder::crossEyed);
    postSideBySide(made.jpeg.data(), static_cast<double>(made.jpeg.size()), made.problem.c_str(),
                   made.note.c_str());
}

} // extern "C"
