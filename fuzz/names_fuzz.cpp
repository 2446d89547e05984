// names_fuzz.cpp - fuzz target for the header walk and the output names.
//
// Input: byte 0 picks the extraction's settings (bit 0 keep directories,
// bits 1-2 the relative path, bits 3-4 the output path); the rest, split at
// line feeds, is a relative path and then up to eight stored names.  The
// target packs the names into a carrier of stored entries with sound header
// CRCs, opens it and walks it, and for every listed name composes the output
// name under every combination of keep-directories, relative path and output
// path: each must stay inside its output folder.  Then it extracts with the
// picked settings and checks the composed names the host sees and every file
// and folder made: all inside the output folder, nothing beside it.
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "packer/carrier_writer.h"
#include "paths/output_name.h"
#include "paths/path_setters.h"
#include "quillmark.h"
#include "state/host_state.h"

namespace {

using qmfuzz::Fail;

constexpr std::size_t kMaxNames = 8;

struct Host {
    std::string outputFolder;
};

std::int32_t QM_CALL OnFileName(QmUserValue user, const char *, char *outputPath)
{
    const auto &host = *reinterpret_cast<const Host *>(user);
    if (std::memchr(outputPath, '\0', 256) == nullptr)
        Fail("output path without a NUL in its 256 bytes", "");
    if (!qmfuzz::StaysInside(outputPath, host.outputFolder))
        Fail("the host is shown a name outside the output folder", outputPath);
    return 0;
}

std::int32_t QM_CALL OnReplace(QmUserValue, WIN32_FIND_DATAA *, WIN32_FIND_DATAA *) { return 3; }

// The output path a host passes, and the folder the library then holds.
struct OutputChoice {
    std::string set;
    std::string held;
};

std::vector<OutputChoice> OutputChoices(const std::string &out)
{
    // A trailing slash already ends the folder on POSIX: no backslash is added.
    return {{out, out + "\\"}, {out + "/", out + "/"}, {"", ""}, {out + "\\deep", out + "\\deep\\"}};
}

std::vector<std::string> SplitLines(const std::uint8_t *data, std::size_t size)
{
    std::vector<std::string> pieces(1);
    for (std::size_t i = 0; i < size && pieces.size() <= kMaxNames + 1; ++i) {
        if (data[i] == '\n')
            pieces.emplace_back();
        else
            pieces.back().push_back(static_cast<char>(data[i]));
    }
    return pieces;
}

void SetKeepDirectories(bool on)
{
    if (on)
        arOptionsOn(QM_OPTION_KEEP_DIRECTORIES);
    else
        arOptionsOff(QM_OPTION_KEEP_DIRECTORIES);
}

// Every setting against one listed name, composed without touching disk.
void ComposeEverySetting(const char *name, const std::vector<std::string> &relatives,
                         const std::vector<OutputChoice> &outputs)
{
    qm::HostState settings;
    for (const bool keep : {false, true}) {
        settings.options = keep ? qm::OptionsWithBitsOn(settings.options, QM_OPTION_KEEP_DIRECTORIES)
                                : qm::OptionsWithBitsOff(settings.options, QM_OPTION_KEEP_DIRECTORIES);
        for (const auto &relative : relatives) {
            for (const auto &output : outputs) {
                qm::SetOutputPath(settings.paths, output.set.c_str());
                qm::SetRelativePath(settings.paths, relative.c_str());
                char composed[qm::kOutputNameSize + 16];
                std::memset(composed, 0x55, sizeof composed);
                if (qm::ComposeOutputName(settings, name, composed) == nullptr) {
                    if (composed[0] != '\0')
                        Fail("a refused name leaves text behind", composed);
                    continue;
                }
                if (std::memchr(composed, '\0', qm::kOutputNameSize) == nullptr)
                    Fail("composed name overruns its 256 bytes", name);
                if (!qmfuzz::StaysInside(composed, output.held))
                    Fail("composed name leaves the output folder",
                         std::string(name) + " -> " + composed + " (relative '" + relative + "')");
            }
        }
    }
}

void Run(const std::uint8_t *data, std::size_t size)
{
    if (size < 1)
        return;
    const std::uint8_t settings = data[0];
    const std::vector<std::string> pieces = SplitLines(data + 1, size - 1);
    if (pieces.size() < 2)
        return;

    const std::string &root = qmfuzz::ScratchRoot();
    const std::string carrier = root + "carrier.qm", out = root + "nest/out";
    qmfuzz::ResetFolder(root + "nest");
    qmfuzz::ResetFolder(out);

    qmpack::CarrierSpec layout;
    for (std::size_t i = 1; i < pieces.size(); ++i) {
        qmpack::EntrySpec entry = qmpack::StoredEntry(pieces[i], qmpack::Bytes{'x'});
        entry.nameWithoutNul = pieces[i].size() >= qmpack::kNameFieldSize;
        layout.entries.push_back(entry);
    }
    const qmpack::Bytes bytes = qmpack::BuildCarrier(layout);
    qmfuzz::WriteWhole(carrier, bytes.data(), bytes.size());

    SetArchiveStatus(0);
    SetSetFileNameProc(0, nullptr);
    SetOkToReplaceProc(0, nullptr);
    InitArcFile(carrier.c_str());
    if (GetArchiveStatus() != 0)
        Fail("a carrier of sound blocks does not open", std::to_string(GetArchiveStatus()));

    const std::string relative = pieces[0].substr(0, 260);
    const std::vector<std::string> relatives = {"", relative, "A", "DIR"};
    const std::vector<OutputChoice> outputs = OutputChoices(out);
    FileMaskList masks;
    InitFileMaskList(&masks);
    HidFileList list;
    InitHidFileList(&list);
    BuildHidFileList(&list, &masks);
    for (const HidFileItem *item = list.first; item; item = item->next)
        ComposeEverySetting(item->name, relatives, outputs);
    DoneHidFileList(&list);

    Host host;
    const OutputChoice &output = outputs[(settings >> 3) & 3];
    host.outputFolder = output.held;
    SetKeepDirectories(settings & 1);
    SetOutputPath(output.set.c_str());
    SetRelativePath(relatives[(settings >> 1) & 3].c_str());
    SetSetFileNameProc(reinterpret_cast<QmUserValue>(&host), OnFileName);
    SetOkToReplaceProc(0, OnReplace);

    char cwd[4096] = "";
    if (output.set.empty() && (!::getcwd(cwd, sizeof cwd) || ::chdir(out.c_str()) != 0))
        Fail("cannot enter the output folder", out);
    SetArchiveStatus(0);
    ExtractFileMaskListArc(&masks);
    if (output.set.empty() && ::chdir(cwd) != 0)
        Fail("cannot go back to the working folder", cwd);
    DoneFileMaskList(&masks);
    DoneArcFile(0);

    qmfuzz::CheckTree(root, out, {"carrier.qm"});
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    Run(data, size);
    return 0;
}
