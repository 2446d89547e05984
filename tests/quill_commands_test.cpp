// quill_commands_test.cpp - quill's commands against files that are no
// archive: the exit code and the message for the library's status.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "quill/codepage.h"
#include "quill/command_line.h"
#include "quill/commands.h"
#include "support/temp_dir.h"

namespace {

TEST(QuillCommands, ReportTheStatusWhenTheArchiveCannotBeOpened)
{
    qmtest::TempDir dir;
    const std::string text = dir.Write("notes.txt", qmpack::Bytes(100, 'x'));
    struct Case {
        std::string path;
        const char *message;
    };
    const Case cases[] = {
        {dir.File("absent.qm"), "the archive file does not exist (status 2)"},
        {text, "no archive was found in the file (status 9999)"},
    };
    for (const auto &c : cases) {
        for (const auto command : {quill::Command::List, quill::Command::Extract}) {
            quill::CommandLine line;
            line.command = command;
            line.archive = *quill::ToLibraryPath(c.path);
            line.outputDir = *quill::ToLibraryPath(dir.File("out"));
            std::ostringstream out, err;
            const int code = command == quill::Command::List ? quill::RunList(line, out, err)
                                                             : quill::RunExtract(line, out, err);
            EXPECT_EQ(code, 1) << c.path;
            EXPECT_NE(err.str().find(c.message), std::string::npos) << err.str();
            EXPECT_FALSE(std::filesystem::exists(dir.path() / "out")) << c.path;
        }
    }
}

}  // namespace
