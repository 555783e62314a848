#pragma once

#include "fileSystem.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

namespace twinframe {

// Where a batch's images go. On the desktop they are files beside their input; a front end that
// cannot or need not write files (a web page cutting outputs from the original file) supplies its
// own sink, and the batch's rules, texts and counts stay the same.
class ChunkSink {
  public:
    virtual ~ChunkSink() = default;

    // Which output, if any, has the name target now: the batch uses it never to overwrite an
    // image it wrote earlier from another file.
    virtual std::optional<FileIdentity> identityOf(const std::filesystem::path& target) = 0;

    // Makes bytes first to last (inclusive, first < last) of the current input, listed as input,
    // the whole content of target; written receives the identity of what was written. A sink
    // that writes files holds it unnamed until publish.
    virtual std::error_code save(const std::string& input, std::int64_t first, std::int64_t last,
                                 const std::filesystem::path& target, FileIdentity& written) = 0;

    // Gives every output saved since the last publish or discard its name, all of them or none
    // (a file is never left half split); with ExistingFile::keep none replaces anything. On
    // failure, failed is the index (in the order saved) of the output that could not be named.
    virtual std::error_code publish(ExistingFile existing, std::size_t& failed);
    // Drops the outputs saved since the last publish, unnamed.
    virtual void discard() {}
    // Waits until every output published so far is on the disk under its name, so that a power
    // cut or a pulled card after the batch's summary loses none; folder receives the folder
    // that could not be flushed.
    virtual std::error_code makeDurable(std::filesystem::path& folder);
    // Whether publish waits for the disk: the batch then opens and plans its next file meanwhile.
    virtual bool waitsForDisk() const { return false; }

    // The own name (leaf) of a regular file that is already where target would go, in the spelling
    // the folder holds it (DSCF0001.JPG where the file system ignores case and target ends in
    // .jpg); none when nothing is there. A sink that writes no files finds nothing. A path, as the
    // folder gave it: on Windows a name as text would have to pass through a conversion again.
    virtual std::optional<std::filesystem::path> existingName(const std::filesystem::path& target);

    // Whether a and b, two spellings in one folder that differ only in letter case, name the same
    // file where identity cannot tell: card drivers (exfat-fuse, fusefat) give each spelling an
    // identity of its own. A sink that writes no files finds none.
    virtual bool isSameEntry(const std::filesystem::path& a, const std::filesystem::path& b);
};

// The desktop's sink: the images of a file written into temporaries beside their input, then
// named together once all are on the disk.
class FileChunkSink : public ChunkSink {
  public:
    ~FileChunkSink() override;
    std::optional<FileIdentity> identityOf(const std::filesystem::path& target) override;
    std::error_code save(const std::string& input, std::int64_t first, std::int64_t last,
                         const std::filesystem::path& target, FileIdentity& written) override;
    std::error_code publish(ExistingFile existing, std::size_t& failed) override;
    void discard() override;
    std::error_code makeDurable(std::filesystem::path& folder) override;
    bool waitsForDisk() const override { return true; }
    std::optional<std::filesystem::path> existingName(const std::filesystem::path& target) override;
    bool isSameEntry(const std::filesystem::path& a, const std::filesystem::path& b) override;

    // For tests: told each step of putting outputs on the disk, before it is taken.
    void setWatcher(PublishWatcher watcher) { watcher_ = std::move(watcher); }

  private:
    std::vector<StagedFile> staged_;
    std::vector<std::filesystem::path> foldersToFlush_;
    PublishWatcher watcher_;
};

// The desktop's sink that batches use unless given another.
ChunkSink& fileChunkSink();

} // namespace twinframe
