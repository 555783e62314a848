#pragma once

#include "stereo/sideBySide.h"

#include <string>
#include <vector>

namespace twinframe {

// twinframe-cli --side-by-side: makes a side-by-side picture of each stereo MPO or left picture
// (or of those a folder holds), one progress line per pair, then "Pictures made side by side: N".
// Returns the exit status: 1 when any input drew a message.
int runSideBySideCommand(const std::vector<std::string>& files, StereoOrder order, bool quiet);

// twinframe-cli --from-side-by-side: joins the two pictures of each side-by-side picture (or of
// the .jps files a folder holds) into an MPO, one progress line per picture, then the summary.
int runFromSideBySideCommand(const std::vector<std::string>& files, bool cross, bool quiet);

} // namespace twinframe
