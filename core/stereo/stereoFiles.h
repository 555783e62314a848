#pragma once

#include "platform/fileSystem.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace twinframe {

// The file work of the side-by-side batches (sideBySideBatch.h): reading an input whole, and
// writing an output under a name no file has, never one the batch made before.

// The extension of path's name in ASCII lower case (".jps", ".jpg"), empty without one.
std::string loweredExtension(const std::filesystem::path& path);

// Whether path is named as a JPEG picture is: .jpg or .jpeg, in any case.
bool hasJpegName(const std::filesystem::path& path);

// An input read whole into memory, as the transforms take it.
struct StereoInput {
    std::vector<std::uint8_t> bytes;
    // Its permission bits, which the outputs made of it get (less the umask).
    std::filesystem::perms permissions = std::filesystem::perms::unknown;
};

// Reads the file at path whole; the user's text, naming the file as given, when that fails. A
// file past the 4 GiB an MP index can address is refused before it is read.
std::string readStereoInput(const std::filesystem::path& path, StereoInput& input);

// The outputs a batch made so far, by what they are on the disk, with the input each came from.
class MadeOutputs {
  public:
    // Why output cannot take a new file: the user's text (one made earlier in this batch is
    // named as such), empty when the name is free.
    std::string whyTaken(const std::filesystem::path& output) const;

    // Writes bytes as the new file output, made of input, never replacing a file that has the
    // name or takes it meanwhile; the user's text when that fails.
    std::string write(const std::filesystem::path& output, const std::vector<std::uint8_t>& bytes,
                      std::filesystem::perms permissions, const std::string& input);

  private:
    std::map<FileIdentity, std::string> made_;
};

} // namespace twinframe
