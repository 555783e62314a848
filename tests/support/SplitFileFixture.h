#pragma once

#include "MpoBuilder.h"
#include "splitFile.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace twinframe::test {

// A test folder, a batch and a reporter that keeps what it is told: the split's tests on every
// system and those of POSIX systems only share it, as one test suite.
class SplitFile : public ::testing::Test {
  protected:
    using Names = std::vector<std::string>;

    // Writes bytes as name in the test folder and splits it as file 1 of a batch.
    void split(const std::string& name, const Bytes& bytes) {
        writeBytes(dir / name, bytes);
        splitFile(dir.path(), name, 1, batch, reporter);
    }

    // Every output of a split file, in order, concatenated.
    Bytes joined(const Names& outputs) const {
        Bytes all;
        for (const auto& name : outputs) {
            const Bytes part = readBytes(dir / name);
            all.insert(all.end(), part.begin(), part.end());
        }
        return all;
    }

    TempDir dir;
    BatchState batch;
    RecordingReporter reporter;
};

} // namespace twinframe::test
