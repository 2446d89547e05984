// path_setters.h - setting OutputPath, InputPath and RelativePath.
//
// None of these reports anything or touches the status.  Paths longer than
// a setting holds are handled per setting:
//   - OutputPath: refused.  The setting is emptied and OutputPathRefused set,
//     so every later output name fails (the extraction reports it) until a
//     path that fits is set; a cut path would send files elsewhere.
//   - RelativePath: cut to 260 characters.  A stored name has at most 255, so
//     a relative path of 255 or more removes nothing either way: the cut one
//     behaves exactly as the whole one would.
//   - InputPath: cut to fit, the added backslash included; nothing reads it.
// A null path counts as the empty path.
#pragma once

#include "state/path_settings.h"

namespace qm {

// OutputPath becomes path with a backslash added unless path is empty or
// already ends in a backslash or a colon.
void SetOutputPath(PathSettings &paths, const char *path);

// InputPath becomes path, with a backslash appended when it is longer than
// 3 characters, whatever its last character.
void SetInputPath(PathSettings &paths, const char *path);

// RelativePath becomes path, unchanged.
void SetRelativePath(PathSettings &paths, const char *path);

// Sets OutputPath from the string at byte 1104 of block and then
// RelativePath from the string at byte 832, each only when not empty.
// No other byte of the block is read.
void SetDecompExtraFeatures(PathSettings &paths, const void *block);

}  // namespace qm
