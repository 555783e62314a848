#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

namespace twinframe::fuzz {

// Ends the run as a crash, which libFuzzer keeps the input of, saying which invariant broke.
[[noreturn]] inline void fail(const std::string& what) {
    std::fprintf(stderr, "invariant broken: %s\n", what.c_str());
    std::abort();
}

} // namespace twinframe::fuzz
