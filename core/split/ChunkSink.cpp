#include "split/ChunkSink.h"

#include "asciiCase.h"
#include "split/saveChunkCode.h"

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
    const fs::path folder = folderOf(target);
    for (const fs::path& entry : folderEntries(folder)) {
        const std::string name = utf8Text(entry);
        if (!sameIgnoringAsciiCase(name, leaf))
            continue;
        matching.push_back(entry);
        if (twinframe::identityOf(folder / entry) != identity)
            continue;
        std::optional<fs::path>& kind = isSymbolicLink(folder / entry) ? link : plain;
        if (!kind || name == leaf)
            kind = entry;
    }
    if (!plain && !link && matching.size() == 1)
        return matching.front();
    return plain.value_or(link.value_or(target.filename()));
}

// The entries of folder whose names match leaf without regard to case.
std::size_t entriesMatching(const fs::path& folder, const std::string& leaf) {
    std::size_t count = 0;
    for (const fs::path& entry : folderEntries(folder))
        count += sameIgnoringAsciiCase(utf8Text(entry), leaf);
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

// The bytes come from the byte module's open input (fileBuffer), not from the file input names.
// input is the name as listed, relative to the batch's folder, which the sink is not told: only
// the page's sink, which cuts its outputs from the user's own file later, has use for it. And the
// open input is the very file whose bytes were scanned and planned: opening the name again could
// reach another file put in its place meanwhile, whose bytes the plan's cuts do not fit, and
// only the open file can give its bytes to the output in the kernel.
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
    const auto identity = twinframe::identityOf(target);
    FileKind kind = FileKind::unknown;
    if (!identity || fileKindOf(target, kind) || kind != FileKind::regular)
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
