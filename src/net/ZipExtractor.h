#pragma once

#include <string>

namespace kestrel {

// Unpacks the archive zipFileName, which lies in the bundle folder folderName
// under the creatives folder, into that same folder. Entries may sit in
// sub-folders, which are created; an entry whose name is absolute, has a ".."
// segment or is a symbolic link is refused and nothing is written for it.
// Each entry is reported on standard output ("Extracted: ") or standard error.
// Throws std::runtime_error or std::filesystem::filesystem_error when the
// bundle folder cannot be made, and std::runtime_error ("Failed to extract
// file: NAME") when an entry that may be written cannot be (a full disk).
void ExtractZip(const std::string& zipFileName, const std::string& folderName);

}  // namespace kestrel
