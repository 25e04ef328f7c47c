#pragma once

#include <string>

namespace velmor {

// The folder part of a path: "." for a bare name, "/" for a name in the root.
std::string folderOf(const std::string& path);

// errno of a failed open of `path` as a code: a missing entry is 2 when its folder
// exists and 3 when a folder on the path is missing.
int pathErrorCode(int err, const std::string& path);

// Follows symbolic links from `path` to the entry they finally name, which may not
// exist yet. Returns 0 and sets `target`, or returns the errno of the failed step.
int resolveLinks(const std::string& path, std::string& target);

}  // namespace velmor
