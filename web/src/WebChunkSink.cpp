#include "WebChunkSink.h"

#include "asciiCase.h"

namespace twinframe {

namespace {

// Marks the identities as the page's own, so none can equal a real file's by chance.
constexpr std::uint64_t kPageDevice = 0x7765'6200; // "web"

} // namespace

std::optional<FileIdentity> WebChunkSink::identityOf(const std::filesystem::path& target) {
    const std::string key = asciiLowered(target.filename().string());
    const auto [entry, added] = numbers_.try_emplace(key, numbers_.size() + 1);
    return FileIdentity{kPageDevice, entry->second};
}

std::error_code WebChunkSink::save(const std::string& input, std::int64_t first, std::int64_t last,
                                   const std::filesystem::path& target, FileIdentity& written) {
    // As the file writer does: an empty range makes no file, a range before the start is refused.
    if (last <= first)
        return {};
    if (first < 0)
        return std::make_error_code(std::errc::invalid_argument);
    written = *identityOf(target);
    outputs_.push_back({input, target.filename().string(), first, last});
    return {};
}

} // namespace twinframe
