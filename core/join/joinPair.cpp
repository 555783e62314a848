#include "join/joinPair.h"

#include "join/joinInputBytes.h"
#include "platform/blockReader.h"
#include "platform/failure.h"
#include "platform/fileSystem.h"

namespace twinframe {

std::error_code writeJoin(const JoinPlan& plan, NativeFile left, NativeFile right,
                          NativeFile output) {
    BlockReader reader(kJoinBlockSize); // its block only where the kernel cannot copy these files
    for (const JoinPiece& piece : plan.pieces) {
        std::error_code error;
        if (piece.source == JoinSource::made)
            error = writeAll(output, plan.made.data() + piece.range.first,
                             static_cast<std::size_t>(piece.range.size()));
        else
            error = reader.copy(piece.source == JoinSource::left ? left : right,
                                static_cast<std::int64_t>(piece.range.first),
                                static_cast<std::int64_t>(piece.range.size()), output);
        if (error)
            return error;
    }
    return {};
}

std::filesystem::perms sharedPermissions(std::filesystem::perms left,
                                         std::filesystem::perms right) {
    if (left == std::filesystem::perms::unknown)
        return right;
    if (right == std::filesystem::perms::unknown)
        return left;
    return left & right;
}

std::string openPicture(const std::filesystem::path& path, NativeFile& file, std::int64_t& length) {
    // Refuses a fifo (or a folder) in a picture's place without waiting for it.
    std::error_code error = openForReading(path, file, length);
    if (error == std::errc::is_a_directory)
        error = make_error_code(Refusal::notRegularFile);
    if (error && error.category() != refusalCategory())
        return describeFailure("Cannot open", utf8Text(path), error);
    // An MP index counts in 32 bits: a larger picture could never be joined, so it is not read.
    if (!error && static_cast<std::uint64_t>(length) > kLargestMpo)
        error = std::make_error_code(std::errc::file_too_large);
    if (error)
        return describeFailure("Cannot read", utf8Text(path), error);
    return {};
}

namespace {

namespace fs = std::filesystem;

// An input held open from its reading to the copy of its bytes, so that both see one file.
struct OpenInput {
    OpenInput() = default;
    OpenInput(const OpenInput&) = delete;
    OpenInput& operator=(const OpenInput&) = delete;
    ~OpenInput() { closeFile(file); }

    NativeFile file = kNoFile;
    JoinInput input;
    // Its permission bits, of which the joined file gets those both pictures share.
    std::filesystem::perms permissions = std::filesystem::perms::unknown;
};

// Opens and reads one input, its size checked first; the user's text when that fails.
std::string openInput(const fs::path& path, OpenInput& open) {
    std::int64_t length = 0;
    if (std::string problem = openPicture(path, open.file, length); !problem.empty())
        return problem;

    const NativeFile file = open.file;
    open.permissions = permissionsOf(file);
    JoinInputBytes bytes(
        static_cast<std::uint64_t>(length),
        [file](std::uint64_t offset, std::uint8_t* data, std::size_t size, std::size_t& got) {
            return readAt(file, data, size, static_cast<std::int64_t>(offset), got);
        });
    open.input = readJoinInput(bytes);
    if (bytes.error())
        return describeFailure("Cannot read", utf8Text(path), bytes.error());
    return {};
}

std::string inputProblem(const fs::path& path, const JoinInput& input) {
    switch (input.kind) {
    case JoinInputKind::picture:
        return {};
    case JoinInputKind::notJpeg:
        return utf8Text(path) + " is not a valid JPEG file";
    case JoinInputKind::cutShort:
        return utf8Text(path) + " is not a complete JPEG file: it ends before its end marker";
    case JoinInputKind::secondImage:
        return utf8Text(path) + " is a whole MPO file: a second picture follows its end";
    }
    return {};
}

std::string sizeText(const JoinInput& input) {
    return std::to_string(input.width) + "x" + std::to_string(input.height);
}

// Reads both pictures, held open in leftFile and rightFile, and lays out their join; the user's
// text instead when they cannot be joined.
std::string readAndPlan(const fs::path& left, const fs::path& right, const fs::path& output,
                        OpenInput& leftFile, OpenInput& rightFile, JoinPlan& plan) {
    // The same picture twice (a link, or a copy program's hard link) would give an MPO of one
    // view seen twice.
    if (const auto leftIdentity = identityOf(left);
        leftIdentity && leftIdentity == identityOf(right))
        return utf8Text(left) + " and " + utf8Text(right) + " are the same file";

    if (std::string problem = openInput(left, leftFile); !problem.empty())
        return problem;
    if (std::string problem = inputProblem(left, leftFile.input); !problem.empty())
        return problem;
    if (std::string problem = openInput(right, rightFile); !problem.empty())
        return problem;
    if (std::string problem = inputProblem(right, rightFile.input); !problem.empty())
        return problem;

    plan = planJoin(leftFile.input, rightFile.input);
    switch (plan.refusal) {
    case JoinRefusal::none:
        break;
    case JoinRefusal::sizesDiffer:
        return utf8Text(left) + " and " + utf8Text(right) +
               " differ in size: " + sizeText(leftFile.input) + " and " + sizeText(rightFile.input);
    case JoinRefusal::tooLarge:
        return "Cannot write " + utf8Text(output) +
               ": the pictures together pass the 4 GiB an MPO index can address";
    }
    return {};
}

} // namespace

JoinResult planPair(const fs::path& left, const fs::path& right, const fs::path& output,
                    JoinPlan& plan) {
    OpenInput leftFile;
    OpenInput rightFile;
    return {readAndPlan(left, right, output, leftFile, rightFile, plan)};
}

JoinResult joinPair(const fs::path& left, const fs::path& right, const fs::path& output) {
    // Before anything can refuse the pair: a join killed on a card leaves its temporary there,
    // and the run after it may well find its pair joined or refused.
    removeAbandonedTemporaries(output.has_parent_path() ? output.parent_path() : pathFromUtf8("."));
    // The original MPO usually sits there; looked at first, it costs no reading.
    if (nameIsTaken(output))
        return {outputExistsText(output)};
    OpenInput leftFile;
    OpenInput rightFile;
    JoinPlan plan;
    if (std::string problem = readAndPlan(left, right, output, leftFile, rightFile, plan);
        !problem.empty())
        return {problem};

    const auto writeContent = [&](NativeFile file) {
        return writeJoin(plan, leftFile.file, rightFile.file, file);
    };
    // The original MPO is usually what sits under the output's name: never replace a file. The
    // output holds both pictures, so it is as private as the more private of them.
    const std::error_code error = writeFileAtomically(
        output, writeContent, nullptr, TemporaryKind::unnamedWherePossible, ExistingFile::keep,
        sharedPermissions(leftFile.permissions, rightFile.permissions));
    if (error == std::errc::file_exists)
        return {outputExistsText(output)};
    if (error)
        return {describeFailure("Cannot write", utf8Text(output), error)};
    return {};
}

std::string outputExistsText(const fs::path& output) {
    return "Cannot write " + utf8Text(output) + ": a file of that name exists";
}

} // namespace twinframe
