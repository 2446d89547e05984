// main.cpp - quill, a command line over the Quillmark library.
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "quill/command_line.h"
#include "quill/commands.h"
#include "quill/console.h"
#include "quill/exit_codes.h"
#include "quill/scan_command.h"

namespace {

int Run(int argc, char **argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    // scan takes files and folders, not an archive: it parses its own arguments.
    if (!args.empty() && args[0] == "scan")
        return quill::RunScan({args.begin() + 1, args.end()}, std::cout, std::cerr);
    const auto parsed = quill::ParseCommandLine(args);
    if (!parsed.ok) {
        std::cerr << "quill: " << parsed.error << "\n" << quill::UsageText();
        return quill::kExitUsage;
    }
    quill::CatchStopRequests();
    quill::TerminalConsole console;
    switch (parsed.line.command) {
    case quill::Command::List:
        return quill::RunList(parsed.line, console);
    case quill::Command::Test:
        return quill::RunTest(parsed.line, console);
    case quill::Command::Extract:
        return quill::RunExtract(parsed.line, console);
    case quill::Command::Version:
        std::cout << quill::VersionText();
        return quill::kExitOk;
    case quill::Command::Help:
        break;
    }
    std::cout << quill::UsageText();
    return quill::kExitOk;
}

}  // namespace

int main(int argc, char **argv)
{
    // The library reports its own allocation failures as a status; quill's
    // lists and strings may still run out: a message and exit 1, no abort.
    try {
        return Run(argc, argv);
    } catch (const std::bad_alloc &) {
        std::cerr << "quill: out of memory\n";
        return quill::kExitFailure;
    }
}
