// commands.h - quill's three commands over the library's public interface.
//
// Each returns the process exit code (exit_codes.h) and writes its output
// and its failure lines through the console.
#pragma once

#include "quill/command_line.h"
#include "quill/console.h"

namespace quill {

int RunList(const CommandLine &line, Console &console);
int RunTest(const CommandLine &line, Console &console);
int RunExtract(const CommandLine &line, Console &console);

}  // namespace quill
