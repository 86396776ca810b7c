#pragma once
// The frames named on the command line: files as given, folders for the frame files
// they hold. Nothing here throws: a path that cannot be examined (a symlink loop, a
// folder without permission) is said in the result.

#include <string>
#include <vector>

namespace morvik::reduction {

struct FrameList {
  std::vector<std::string> frames;
  std::vector<std::string> notes; // what was left out or not found, with the reason
  std::string error;              // an argument that names nothing usable; frames is then empty
};

// A frame file by its name: .fit, .fits, .fts, .fz or .gz, in any case.
bool IsFrameName(const std::string& name);

FrameList ListFrames(const std::vector<std::string>& arguments);

} // namespace morvik::reduction
