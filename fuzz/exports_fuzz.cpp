// exports_fuzz.cpp - fuzz target over the exports, driven as a host drives
// them: open, both list builds, extraction with the callbacks answering as
// the control bytes say (see exports_controls.h).
//
// The input is written as the carrier file.  Output goes to a scratch folder
// that is emptied on every run; a progress callback stops the run once the
// run has written more than kOutputCap bytes.  Findings: a crash or a
// sanitizer report, a status outside the table, an inconsistent list, a
// composed name or a file outside the output folder, or more output than the
// cap allows.  Links planted in the output folder lead to a victim file and a
// victim folder beside it: a change to either, or to the carrier itself, is a
// finding too.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "exports_controls.h"
#include "fuzz_support.h"
#include "quillmark.h"

namespace {

using qmfuzz::Controls;
using qmfuzz::Fail;

constexpr std::uint64_t kOutputCap = 1u << 20;
// Beyond the cap: the write that crosses it (a window flush of just under
// 1 MiB, at most) is on disk before the progress callback stops the run.
constexpr std::uint64_t kOutputSlack = 1u << 20;
constexpr int kMaxPasswordQuestions = 8;
constexpr int kMaxReplaceQuestions = 16;

const char *const kMaskSets[8][2] = {
    {nullptr, nullptr},  {"*.*", nullptr},       {"*", nullptr},           {"*.TXT", nullptr},
    {"DIR\\*.*", nullptr}, {"A*", "?.*"},        {"NOMATCH.XYZ", nullptr}, {"*\\*.*", "dir/sub/*"},
};

struct Host {
    Controls controls;
    std::string outputFolder;  // the output path as the library holds it, separator at the end
    int passwordQuestions = 0;
    int replaceQuestions = 0;
    int progressCalls = 0;
    std::uint64_t written = 0;
};

std::int32_t QM_CALL OnCryptKey(QmUserValue user, char *buffer, const char *name, std::int32_t kind)
{
    auto &host = *reinterpret_cast<Host *>(user);
    if (!buffer || !name || (kind != 0 && kind != 1))
        Fail("password question with bad arguments", std::to_string(kind));
    if (host.passwordQuestions >= kMaxPasswordQuestions)
        return 0;
    const unsigned answer = (host.controls[2] >> (2 * (host.passwordQuestions++ % 4))) & 3;
    switch (answer) {
    case 0:
        return 0;
    case 1:
        std::strcpy(buffer, qmfuzz::kRightPassword);
        return 1;
    case 2:
        std::strcpy(buffer, "wrong");
        return 1;
    default:
        if (host.controls.Bit(7, 1))
            SetArchiveStatus(QM_STATUS_STOPPED);
        return 5;
    }
}

std::int32_t QM_CALL OnReplace(QmUserValue user, WIN32_FIND_DATAA *existing, WIN32_FIND_DATAA *entry)
{
    auto &host = *reinterpret_cast<Host *>(user);
    if (!existing || !entry)
        Fail("replace question without its records", "");
    if (host.replaceQuestions >= kMaxReplaceQuestions)
        return 1;
    static const std::int32_t kAnswers[4] = {0, 1, 2, 7};
    return kAnswers[(host.controls[3] >> (2 * (host.replaceQuestions++ % 4))) & 3];
}

std::int32_t QM_CALL OnProgress(QmUserValue user, std::int32_t, std::int32_t count)
{
    auto &host = *reinterpret_cast<Host *>(user);
    if (count < 0)
        Fail("progress reports a negative count", std::to_string(count));
    host.written += static_cast<std::uint32_t>(count);
    ++host.progressCalls;
    if (host.written > kOutputCap)
        return 0;
    const int stopAt = host.controls[6] & 15;
    return stopAt != 0 && host.progressCalls == stopAt ? 0 : 1;
}

std::int32_t QM_CALL OnFileName(QmUserValue user, const char *storedName, char *outputPath)
{
    auto &host = *reinterpret_cast<Host *>(user);
    if (!storedName || storedName[0] != '\\')
        Fail("file-name text without its backslash", storedName ? storedName : "(null)");
    if (std::memchr(outputPath, '\0', 256) == nullptr)
        Fail("output path without a NUL in its 256 bytes", "");
    if (!qmfuzz::StaysInside(outputPath, host.outputFolder))
        Fail("composed name leaves the output folder", outputPath);
    if (host.controls.Bit(7, 0)) {
        const std::string renamed = host.outputFolder + "renamed.bin";
        if (renamed.size() < 256)
            std::strcpy(outputPath, renamed.c_str());
    }
    return 0;
}

bool KnownStatus(std::uint16_t status)
{
    switch (status) {
    case 0: case 2: case 5: case 8: case 101: case 2926:
    case 9906: case 9961: case 9962: case 9964: case 9999:
        return true;
    default:
        return false;
    }
}

void CheckStatus(const char *after)
{
    const std::uint16_t status = GetArchiveStatus();
    static const bool verbose = std::getenv("QM_FUZZ_VERBOSE") != nullptr;
    if (verbose)
        std::fprintf(stderr, "%s: status %u\n", after, status);
    if (!KnownStatus(status))
        Fail(after, "status " + std::to_string(status));
}

template <typename List>
void CheckList(const List &list, std::size_t nameSize)
{
    std::int32_t count = 0;
    const auto *last = list.first;
    for (const auto *item = list.first; item; item = item->next) {
        if (std::memchr(item->name, '\0', nameSize) == nullptr)
            Fail("entry name without a NUL", "");
        last = item;
        ++count;
    }
    if (count != list.count || last != list.last)
        Fail("list head does not match its records", std::to_string(count) + " vs " + std::to_string(list.count));
}

void RegisterCallbacks(Host &host)
{
    const auto user = reinterpret_cast<QmUserValue>(&host);
    SetSetCryptKeyProc(user, OnCryptKey);
    SetOkToReplaceProc(user, OnReplace);
    SetSetProgressProc(user, OnProgress);
    SetSetFileNameProc(user, host.controls[0] & qmfuzz::kFileNameProc ? OnFileName : nullptr);
}

// Output path and relative path as the controls pick them; returns the
// output folder as the library will hold it (empty: the current folder).
std::string SetPaths(const Controls &c, const std::string &out)
{
    static const std::string kLongRelative(260, 'x');
    const char *relative[4] = {"", "DIR", "A", kLongRelative.c_str()};
    std::string output, held;
    switch (c[5] & 3) {
    case 0: output = out; held = out + "\\"; break;
    case 1: output = out + "/"; held = output; break;  // a trailing slash ends the folder
    case 2: output = out + "\\deep\\er"; held = output + "\\"; break;
    default: break;  // empty: names are relative to the current folder
    }
    if (c.Bit(5, 4)) {
        static std::uint8_t block[2048];
        std::memset(block, 0, sizeof block);
        std::strncpy(reinterpret_cast<char *>(block) + QM_DECOMP_OUTPUT_PATH_OFFSET, output.c_str(), 255);
        std::strncpy(reinterpret_cast<char *>(block) + QM_DECOMP_RELATIVE_PATH_OFFSET,
                     relative[(c[5] >> 2) & 3], 260);
        SetOutputPath("");  // an empty string in the block leaves the setting as it was
        SetDecompExtraFeatures(block);
    } else {
        SetOutputPath(output.c_str());
        SetRelativePath(relative[(c[5] >> 2) & 3]);
    }
    return held;
}

void BuildMasks(const Controls &c, FileMaskList *masks)
{
    InitFileMaskList(masks);
    for (const char *mask : kMaskSets[c[4] & 7])
        if (mask && !AppendFileMask(mask, masks))
            Fail("AppendFileMask refused a plain mask", mask);
}

constexpr char kVictimText[] = "not to be touched\n";

// A file and a folder beside the output folder, and links to them inside it
// under names an archive may well hold.
void PlantVictims(const std::string &root, const std::string &out)
{
    qmfuzz::WriteWhole(root + "victim", reinterpret_cast<const std::uint8_t *>(kVictimText),
                       sizeof kVictimText - 1);
    qmfuzz::ResetFolder(root + "victims");
    if (::symlink("../victim", (out + "/VICTIM.TXT").c_str()) != 0 ||
        ::symlink("../victims", (out + "/LINKDIR").c_str()) != 0)
        Fail("cannot plant the links", out);
}

bool Holds(const std::string &path, const void *bytes, std::size_t size)
{
    std::FILE *file = std::fopen(path.c_str(), "rb");
    if (!file)
        return false;
    std::string got(size + 1, '\0');
    const std::size_t n = std::fread(got.data(), 1, got.size(), file);
    std::fclose(file);
    return n == size && std::memcmp(got.data(), bytes, size) == 0;
}

void CheckVictims(const std::string &root, const std::string &carrier, const std::uint8_t *data,
                  std::size_t size)
{
    if (!Holds(root + "victim", kVictimText, sizeof kVictimText - 1))
        Fail("a file outside the output folder changed through a link", root + "victim");
    if (!Holds(carrier, data, size))
        Fail("the carrier changed", carrier);
}

void Run(const std::uint8_t *data, std::size_t size)
{
    const std::string &root = qmfuzz::ScratchRoot();
    const std::string carrier = root + "carrier.qm", out = root + "out";
    qmfuzz::ResetFolder(out);
    qmfuzz::WriteWhole(carrier, data, size);
    PlantVictims(root, out);

    // A carrier that begins with its signature record has no room for
    // choices: a plain host drives it, one that answers every password
    // question (the entries may need none; the question comes all the same).
    static const std::uint8_t kPlainHost[8] = {0, 0, 0x55, 0, 0, 0, 0, 0};
    const bool bare = size >= 10 && std::memcmp(data, "Quillmark!", 10) == 0;
    Host host{bare ? Controls(kPlainHost, 8) : Controls(data, size), {}, 0, 0, 0, 0};
    const Controls &c = host.controls;

    // A fresh host: status, options and every slot the run uses.
    SetArchiveStatus(0);
    arOptionsOff(0xFFFF);
    arOptionsOn(QM_OPTIONS_AT_LOAD | (c[0] & qmfuzz::kKeepDirectories ? QM_OPTION_KEEP_DIRECTORIES : 0) |
                (c.Bit(7, 3) ? 0x7FFE : 0));
    SetSetCryptKeyProc(0, nullptr);
    SetSetProgressProc(0, nullptr);
    SetOkToReplaceProc(0, nullptr);
    SetSetFileNameProc(0, nullptr);
    if (c[0] & qmfuzz::kCryptKeyBeforeOpen)
        SetSetCryptKeyProc(reinterpret_cast<QmUserValue>(&host), OnCryptKey);

    if (c[0] & qmfuzz::kOpenHid) {
        static ArcOpenParams params;
        std::memset(&params, 0, sizeof params);
        params.dataCipherMethod = static_cast<std::int8_t>(c[6]) >> 4;
        params.headersEnciphered = c[0] & qmfuzz::kForceEnciphered ? 1 : 0;
        std::strcpy(params.dataPassword, qmfuzz::kPasswords[c[1] & 3]);
        std::strcpy(params.headerPassword, qmfuzz::kPasswords[(c[1] >> 2) & 3]);
        InitHidFile(carrier.c_str(), &params);
    } else {
        InitArcFile(carrier.c_str());
    }
    CheckStatus("open");

    RegisterCallbacks(host);
    host.outputFolder = SetPaths(c, out);
    FileMaskList masks;
    BuildMasks(c, &masks);

    ArcFileList list;
    InitArcFileList(&list);
    BuildArcFileList(&list, &masks);
    CheckStatus("BuildArcFileList");
    if (c[0] & qmfuzz::kListTwice) {
        SetArchiveStatus(0);
        BuildArcFileList(&list, &masks);
        CheckStatus("second BuildArcFileList");
    }
    CheckList(list, sizeof list.first->name);
    ArcExtraInfo info;
    GetExtraInfoArc(&info);
    if (info.entryCount != list.count && GetArchiveStatus() == 0)
        Fail("statistics count differs from the list", std::to_string(info.entryCount));
    DoneArcFileList(&list);

    SetArchiveStatus(0);
    HidFileList hid;
    InitHidFileList(&hid);
    const std::int32_t count = BuildHidFileList(&hid, &masks);
    CheckStatus("BuildHidFileList");
    if (count != hid.count && GetArchiveStatus() != QM_STATUS_OUT_OF_MEMORY)
        Fail("BuildHidFileList result differs from its list", std::to_string(count));
    CheckList(hid, sizeof hid.first->name);
    DoneHidFileList(&hid);

    if (c.Bit(7, 2))
        DoneArcFile(0);
    const bool inCurrentFolder = host.outputFolder.empty();
    char cwd[4096] = "";
    if (inCurrentFolder && (!::getcwd(cwd, sizeof cwd) || ::chdir(out.c_str()) != 0))
        Fail("cannot enter the output folder", out);
    const int runs = c[0] & qmfuzz::kExtractTwice ? 2 : 1;
    for (int i = 0; i < runs; ++i) {
        if (c[0] & qmfuzz::kExtractHid)
            ExtractFileMaskListHid(&masks);
        else
            ExtractFileMaskListArc(&masks);
        CheckStatus("extraction");
    }
    if (inCurrentFolder && ::chdir(cwd) != 0)
        Fail("cannot go back to the working folder", cwd);
    DoneFileMaskList(&masks);
    DoneArcFile(0);

    CheckVictims(root, carrier, data, size);
    const std::uint64_t total = qmfuzz::CheckTree(root, out, {"carrier.qm", "victim", "victims"});
    if (total > kOutputCap + kOutputSlack)
        Fail("more output than the cap allows", std::to_string(total));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    Run(data, size);
    return 0;
}
