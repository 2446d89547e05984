#include "rar_wrap.h"

#include <cstdio>
#include <filesystem>

namespace qmtest {

namespace {

void Put16(qmpack::Bytes &b, std::uint32_t v)
{
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}

void Put32(qmpack::Bytes &b, std::uint32_t v)
{
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}

// Fills in the block's HEAD_CRC from its bytes after the CRC field.
void SealBlock(qmpack::Bytes &block)
{
    const std::uint32_t crc = qmpack::Crc32(block.data() + 2, block.size() - 2);
    block[0] = static_cast<std::uint8_t>(crc);
    block[1] = static_cast<std::uint8_t>(crc >> 8);
}

constexpr std::uint8_t kMainHead = 0x73;
constexpr std::uint8_t kFileHead = 0x74;
constexpr std::uint8_t kEndHead = 0x7B;
constexpr std::uint16_t kLongBlock = 0x8000;      // a data area follows the header
constexpr std::uint16_t kDictionary1M = 0x0080;   // window size bits 5-7: 1024 KB
constexpr std::uint8_t kHostWin32 = 2;
constexpr std::uint8_t kVersion20 = 20;
constexpr std::uint8_t kMethodNormal = 0x33;

}  // namespace

qmpack::Bytes WrapRar(const qmpack::Bytes &stream, std::uint32_t unpackedSize,
                      std::uint32_t dataCrc, const std::string &name)
{
    qmpack::Bytes out = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x00};

    qmpack::Bytes main = {0, 0, kMainHead};
    Put16(main, 0);   // flags
    Put16(main, 13);  // header size
    Put16(main, 0);   // reserved
    Put32(main, 0);   // reserved
    SealBlock(main);
    out.insert(out.end(), main.begin(), main.end());

    qmpack::Bytes data = stream;
    data.push_back(0);
    data.push_back(0);

    qmpack::Bytes file = {0, 0, kFileHead};
    Put16(file, kLongBlock | kDictionary1M);
    Put16(file, static_cast<std::uint32_t>(32 + name.size()));
    Put32(file, static_cast<std::uint32_t>(data.size()));
    Put32(file, unpackedSize);
    file.push_back(kHostWin32);
    Put32(file, dataCrc);
    Put32(file, 0x546A584A);  // DOS date and time
    file.push_back(kVersion20);
    file.push_back(kMethodNormal);
    Put16(file, static_cast<std::uint32_t>(name.size()));
    Put32(file, 0x20);  // archive attribute
    file.insert(file.end(), name.begin(), name.end());
    SealBlock(file);
    out.insert(out.end(), file.begin(), file.end());
    out.insert(out.end(), data.begin(), data.end());

    qmpack::Bytes end = {0, 0, kEndHead};
    Put16(end, 0x4000);
    Put16(end, 7);
    SealBlock(end);
    out.insert(out.end(), end.begin(), end.end());
    return out;
}

bool RunUnar(const std::string &archive, const std::string &outDir, const std::string &name,
             qmpack::Bytes &output, std::string &log)
{
    const std::string command =
        "unar -q -f -D -o '" + outDir + "' '" + archive + "' 2>&1";
    log.clear();
    std::FILE *pipe = popen(command.c_str(), "r");
    if (!pipe) {
        log = "cannot start unar";
        return false;
    }
    char buffer[512];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        log.append(buffer, n);
    const int status = pclose(pipe);
    const std::filesystem::path file = std::filesystem::path(outDir) / name;
    if (status != 0 || !std::filesystem::exists(file))
        return false;
    output = qmpack::ReadFile(file.string());
    return true;
}

}  // namespace qmtest
