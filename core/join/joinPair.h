#pragma once

#include "join/joinPlan.h"
#include "platform/fileSystem.h"

#include <filesystem>
#include <string>
#include <system_error>

namespace twinframe {

// The work on one pair of pictures: reading them from their files, refusing what cannot be
// joined, and writing the joined file.

// Writes the joined file to output: the made pieces as they are, the ranges copied from the open
// inputs (in the kernel where the platform can).
std::error_code writeJoin(const JoinPlan& plan, NativeFile left, NativeFile right,
                          NativeFile output);

struct JoinResult {
    std::string problem; // the user's text, naming the file and the reason; empty when joined
    bool joined() const { return problem.empty(); }
};

// Joins the pictures left and right into a new file output. Never replaces a file: when output
// exists (or appears meanwhile) nothing is written; nor when left and right are one file, or
// either is not a whole picture. Messages name files as the paths are given.
JoinResult joinPair(const std::filesystem::path& left, const std::filesystem::path& right,
                    const std::filesystem::path& output);

// Reads left and right and lays out their join into plan, as joinPair does, without writing
// anything: for a writer of its own (the page, which offers the file as a download made of the
// plan's bytes and slices of the pictures). Whether output exists is not looked at.
JoinResult planPair(const std::filesystem::path& left, const std::filesystem::path& right,
                    const std::filesystem::path& output, JoinPlan& plan);

// Opens a picture for a join (or for anything else made into an MPO): a fifo or folder in its
// place is refused without waiting, and so is a file past the 4 GiB an MP index addresses, before
// it is read. The user's text, naming the file as given, when that fails; file is then closed or
// never opened. The caller closes file.
std::string openPicture(const std::filesystem::path& path, NativeFile& file, std::int64_t& length);

// The permission bits two files share: who may read (or write) both, which a file made of both
// gets. A file whose bits are not known leaves the other's.
std::filesystem::perms sharedPermissions(std::filesystem::perms left, std::filesystem::perms right);

// Why a pair was not joined into output: a file of that name is there (or was joined earlier
// in the same batch, where the page makes the file).
std::string outputExistsText(const std::filesystem::path& output);

} // namespace twinframe
