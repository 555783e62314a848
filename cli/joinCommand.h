#pragma once

#include <optional>
#include <string>
#include <vector>

namespace twinframe {

// The pictures a --join batch takes, from its FILE arguments as a photographer gives them.
struct JoinArguments {
    // The names to join, in order: each left picture, with the left pictures of a folder in name
    // order in its place. A right picture whose left is also named is taken with that pair and
    // left out; any other name stays, to be told it is not a left picture.
    std::vector<std::string> files;
    std::vector<std::string> problems; // folders that cannot be read or hold no left picture
};

JoinArguments joinArguments(const std::vector<std::string>& arguments);

// twinframe-cli --join: joins each left picture with its right into an MPO, one progress line
// per pair, then "Pairs joined: N". Returns the exit status: 1 when any pair was not joined or
// any argument drew a problem.
int runJoinCommand(const JoinArguments& arguments, const std::optional<std::string>& output,
                   bool quiet);

} // namespace twinframe
