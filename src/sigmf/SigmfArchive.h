// The index of a .sigmf archive: an uncompressed POSIX tar whose members are
// read in place, by offset, never unpacked.
#pragma once

#include <QIODevice>

#include <cstdint>
#include <string>
#include <vector>

namespace sigmf {

struct Member {
    std::string name; // the path inside the archive
    int64_t lOffset = 0; // of its first byte in the archive
    int64_t lBytes = 0;
};

// The regular files of the tar that device holds. False, with error in words, for
// a damaged header, a member name that is absolute or climbs ("../"), a link
// member, or a member that runs past the archive's end.
bool IndexArchive(QIODevice& device, std::vector<Member>& members, std::string& error);

} // namespace sigmf
