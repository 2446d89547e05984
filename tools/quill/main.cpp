// main.cpp - quill, a command line over the Quillmark library.
#include <iostream>
#include <string>
#include <vector>

#include "quill/command_line.h"
#include "quill/commands.h"

int main(int argc, char **argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    const auto parsed = quill::ParseCommandLine(args);
    if (!parsed.ok) {
        std::cerr << "quill: " << parsed.error << "\n" << quill::UsageText();
        return 2;
    }
    switch (parsed.line.command) {
    case quill::Command::List:
        return quill::RunList(parsed.line, std::cout, std::cerr);
    case quill::Command::Extract:
        return quill::RunExtract(parsed.line, std::cout, std::cerr);
    case quill::Command::Help:
        break;
    }
    std::cout << quill::UsageText();
    return 0;
}
