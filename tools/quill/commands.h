// commands.h - quill's two commands over the library's public interface.
//
// Each returns the process exit code: 0 on success, 1 when the library
// reported a failure (the message is written to err).
#pragma once

#include <ostream>

#include "quill/command_line.h"

namespace quill {

int RunList(const CommandLine &line, std::ostream &out, std::ostream &err);
int RunExtract(const CommandLine &line, std::ostream &out, std::ostream &err);

}  // namespace quill
