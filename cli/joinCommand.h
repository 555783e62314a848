#pragma once

#include <optional>
#include <string>
#include <vector>

namespace twinframe {

// twinframe-cli --join: joins each left picture with its right into an MPO, one progress line
// per pair, then "Pairs joined: N". Returns the exit status: 1 when any pair was not joined.
int runJoinCommand(const std::vector<std::string>& lefts, const std::optional<std::string>& output,
                   bool quiet);

} // namespace twinframe
