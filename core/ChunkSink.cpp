#include "ChunkSink.h"

#include "asciiCase.h"
#include "saveChunkCode.h"

#include <algorithm>

namespace twinframe {

namespace {

namespace fs = std::filesystem;

fs::path folderOf(const fs::path& target) {
    return target.has_parent_path() ? target.parent_path() : pathFromUtf8(".");
}

// The folder's own spelling of the file that target reaches: the entry of target's name in
// any letter case that is that very file, a plain file before a link to it, the exact spelling
// first. Where no entry has its identity (a card driver that gives each spelling an identity of
// its own), the one entry that matches without regard to case is the file.
fs::path spellingInFolder(const fs::path& target, const FileIdentity& identity) {
    const std::string leaf = utf8Text(target.filename());
    std::optional<fs::path> plain;
    std::optional<fs::path> link;
    std::vector<fs::path> matching;
    std::error_code error;
    for (fs::directory_iterator it(folderOf(target), error), end; !error && it != end;
         it.increment(error)) {
        const std::string name = utf8Text(it->path().filename());
        if (!sameIgnoringAsciiCase(name, leaf))
            continue;
        matching.push_back(it->path().filename());
        if (twinframe::identityOf(it->path()) != identity)
            continue;
        std::error_code ignored;
        std::optional<fs::path>& kind = it->is_symlink(ignored) ? link : plain;
        if (!kind || name == leaf)
            kind = it->path().filename();
    }
    if (!plain && !link && matching.size() == 1)
        return matching.front();
    return plain.value_or(link.value_or(target.filename()));
}

// The entries of folder whose names match leaf without regard to case.
std::size_t entriesMatching(const fs::path& folder, const std::string& leaf) {
    std::size_t count = 0;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        count += sameIgnoringAsciiCase(utf8Text(it->path().filename()), leaf);
    return count;
}

// A file of many images must not hold a descriptor open for each: past this many, each is
// flushed and closed as soon as it is written.
constexpr std::size_t kHeldOpen = 32;

} // namespace

std::optional<std::filesystem::path>
ChunkSink::existingName(const std::filesystem::path& /*target*/) {
    return std::nullopt;
}

std::error_code ChunkSink::publish(ExistingFile /*existing*/, std::size_t& failed) {
    failed = 0;
    return {};
}

std::error_code ChunkSink::makeDurable(std::filesystem::path& /*folder*/) {
    return {};
}

FileChunkSink::~FileChunkSink() {
    discard();
}

std::optional<FileIdentity> FileChunkSink::identityOf(const fs::path& target) {
    return twinframe::identityOf(target);
}

std::error_code FileChunkSink::save(const std::string& /*input*/, std::int64_t first,
                                    std::int64_t last, const fs::path& target,
                                    FileIdentity& written) {
    if (last <= first)
        return {}; // an empty range makes no file, as saveChunk has it
    StagedFile staged;
    if (const std::error_code error =
            stageChunk(first, last, target, staged_.size() < kHeldOpen, staged, watcher_))
        return error;
    written = staged.identity;
    staged_.push_back(std::move(staged));
    return {};
}

// Each output's data is waited for once, for all of a file's outputs together, just before they
// are named (their write-back started as each was written, so little is left to wait for); the
// folder, whose new names matter only once the batch is over, is flushed once per batch. That
// keeps both promises (no name before its bytes, all on the disk by the summary) at the cost of
// one wait per file and one per folder, rather than one per output and one per name.
std::error_code FileChunkSink::publish(ExistingFile existing, std::size_t& failed) {
    failed = 0;
    const std::error_code error = publishStaged(staged_, existing, failed, watcher_);
    if (!error)
        for (const StagedFile& file : staged_) {
            const fs::path folder = folderOf(file.target);
            if (std::find(foldersToFlush_.begin(), foldersToFlush_.end(), folder) ==
                foldersToFlush_.end())
                foldersToFlush_.push_back(folder);
        }
    discard();
    return error;
}

void FileChunkSink::discard() {
    for (StagedFile& file : staged_)
        discardStaged(file);
    staged_.clear();
}

std::error_code FileChunkSink::makeDurable(fs::path& folder) {
    std::error_code error;
    for (const fs::path& written : foldersToFlush_) {
        if (watcher_)
            watcher_(PublishStep::flushFolder, written);
        if (const std::error_code flushError = flushFolder(written); flushError && !error) {
            error = flushError;
            folder = written;
        }
    }
    foldersToFlush_.clear();
    return error;
}

std::optional<fs::path> FileChunkSink::existingName(const fs::path& target) {
    // Only a file can be one the camera wrote; a folder in the way makes the write fail
    // and be told as such.
    std::error_code error;
    const auto identity = twinframe::identityOf(target);
    if (!identity || !fs::is_regular_file(target, error))
        return std::nullopt;
    return spellingInFolder(target, *identity);
}

bool ChunkSink::isSameEntry(const fs::path& /*a*/, const fs::path& /*b*/) {
    return false;
}

// On a disk that ignores case both spellings reach a file, and the folder holds one entry for
// them; on one that heeds case, both reach files only when the folder holds two.
bool FileChunkSink::isSameEntry(const fs::path& a, const fs::path& b) {
    const std::string leaf = utf8Text(a.filename());
    if (folderOf(a) != folderOf(b) || !sameIgnoringAsciiCase(leaf, utf8Text(b.filename())))
        return false;
    return twinframe::identityOf(a) && twinframe::identityOf(b) &&
           entriesMatching(folderOf(a), leaf) == 1;
}

ChunkSink& fileChunkSink() {
    static FileChunkSink sink;
    return sink;
}

} // namespace twinframe
