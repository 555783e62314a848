// What the file layer does the same on every platform.
#include "platform/fileSystem.h"

#include "platform/staging.h"

#include <chrono>
#include <cstdio>
#include <map>
#include <mutex>

namespace twinframe {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kTemporaryPrefix = ".twinframe-";
constexpr std::string_view kTemporarySuffix = ".tmp";
constexpr std::size_t kSerialDigits = 16;

bool isDecimal(std::string_view text) {
    return !text.empty() && text.size() <= 19 &&
           text.find_first_not_of("0123456789") == std::string_view::npos;
}

bool isHex(std::string_view text) {
    return text.find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

// Whether folder was looked at for abandoned temporaries less than a minute ago; notes it when
// not. A folder is known by its identity, however it is spelled.
bool lookedAtLately(const fs::path& folder) {
    using Clock = std::chrono::steady_clock;
    static std::mutex mutex;
    static std::map<FileIdentity, Clock::time_point> lastLook;
    const auto identity = identityOf(folder);
    if (!identity)
        return true; // nothing there to look at
    const std::lock_guard<std::mutex> lock(mutex);
    const auto now = Clock::now();
    const auto [entry, added] = lastLook.try_emplace(*identity, now);
    if (!added && now - entry->second < std::chrono::minutes(1))
        return true;
    entry->second = now;
    return false;
}

// A temporary of ours by its name, and a plain file: never a link (whose target is not ours) or
// anything else that happens to bear such a name.
std::optional<std::uint64_t> temporaryWriter(const fs::path& path) {
    const auto writer = writerOfTemporary(utf8Text(path.filename()));
    if (!writer || isSymbolicLink(path))
        return std::nullopt;
    FileKind kind = FileKind::unknown;
    if (fileKindOf(path, kind) || kind != FileKind::regular)
        return std::nullopt;
    return writer;
}

} // namespace

std::unique_ptr<std::uint8_t[]> uninitialisedBuffer(std::size_t size) {
#if defined(__cpp_lib_smart_ptr_for_overwrite)
    return std::make_unique_for_overwrite<std::uint8_t[]>(size);
#else
    return std::unique_ptr<std::uint8_t[]>(new std::uint8_t[size]);
#endif
}

std::string temporaryLeaf(std::uint64_t processId, std::uint64_t serial) {
    char serialText[kSerialDigits + 1];
    std::snprintf(serialText, sizeof serialText, "%016llx",
                  static_cast<unsigned long long>(serial));
    return std::string(kTemporaryPrefix) + std::to_string(processId) + "-" + serialText +
           std::string(kTemporarySuffix);
}

std::optional<std::uint64_t> writerOfTemporary(const std::string& leaf) {
    std::string_view name = leaf;
    if (!name.starts_with(kTemporaryPrefix) || !name.ends_with(kTemporarySuffix))
        return std::nullopt;
    name.remove_prefix(kTemporaryPrefix.size());
    name.remove_suffix(kTemporarySuffix.size());
    const std::size_t dash = name.find('-');
    if (dash == std::string_view::npos)
        return std::nullopt;
    const std::string_view processId = name.substr(0, dash);
    const std::string_view serial = name.substr(dash + 1);
    if (!isDecimal(processId) || serial.size() != kSerialDigits || !isHex(serial))
        return std::nullopt;
    return std::stoull(std::string(processId));
}

void removeAbandonedTemporaries(const fs::path& folder) {
    if (lookedAtLately(folder))
        return;
    for (const fs::path& leaf : folderEntries(folder)) {
        const fs::path path = folder / leaf;
        if (const auto writer = temporaryWriter(path))
            removeIfAbandoned(path, *writer);
    }
}

std::error_code publishStaged(std::vector<StagedFile>& files, ExistingFile existing,
                              std::size_t& failed, const PublishWatcher& watcher) {
    for (failed = 0; failed < files.size(); ++failed)
        if (const std::error_code error = staging::whyNotNameable(files[failed].target, existing))
            return error;
    // All the data first, then all the names: one wait for the group, and no name before it.
    for (failed = 0; failed < files.size(); ++failed) {
        StagedFile& file = files[failed];
        if (file.dataFlushed)
            continue;
        staging::tell(watcher, PublishStep::flushData, file.target);
        if (const std::error_code error = staging::flushStagedData(file))
            return error;
        file.dataFlushed = true;
    }
    for (failed = 0; failed < files.size(); ++failed) {
        staging::tell(watcher, PublishStep::name, files[failed].target);
        if (const std::error_code error = staging::nameStaged(files[failed], existing)) {
            // Something took a name after the check: the names given already go again, while
            // they are still ours.
            for (std::size_t i = 0; i < failed; ++i)
                if (identityOf(files[i].target) == files[i].identity)
                    staging::removeName(files[i].target);
            return error;
        }
    }
    return {};
}

} // namespace twinframe
