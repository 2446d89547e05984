// make_seeds.cpp - writes the seed corpora of the fuzz targets with the
// packer's library.
//
// Usage: qm_fuzz_seeds FOLDER.  Makes FOLDER/unpack, FOLDER/exports,
// FOLDER/names and FOLDER/diff and fills them with small inputs that reach
// deep: stored and LZ entries, streams with the audio flag set, every data
// cipher, enciphered header blocks, hostile stored names, and streams in
// audio mode with every channel count.  The seeds are made afresh by
// scripts/fuzz, so no binary corpus is kept in the tree.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "exports_controls.h"
#include "packer/carrier_writer.h"
#include "packer/encoder.h"
#include "packer_crypto/packer_crypto.h"

namespace {

using qmpack::Bytes;

const qmpack::ChainingBlock kChaining = {9, 8, 7, 6, 5, 4, 3, 2};

Bytes Text(std::size_t size)
{
    static const std::string line = "The quick brown fox jumps over the lazy dog; 0123456789.\n";
    Bytes out;
    for (std::size_t i = 0; out.size() < size; ++i)
        out.push_back(static_cast<std::uint8_t>(line[i % line.size()] + (i / 997 % 3)));
    out.resize(size);
    return out;
}

// Bytes no LZ stream can shorten much: a simple generator.
Bytes Noise(std::size_t size, std::uint32_t seed)
{
    Bytes out(size);
    for (auto &b : out) {
        seed = seed * 1103515245u + 12345u;
        b = static_cast<std::uint8_t>(seed >> 16);
    }
    return out;
}

// A wave, the kind of data the audio mode is for.
Bytes Wave(std::size_t size)
{
    Bytes out(size);
    for (std::size_t i = 0; i < size; ++i)
        out[i] = static_cast<std::uint8_t>(128 + ((i * 7) % 64) - ((i * 3) % 32));
    return out;
}

// Sampled sound: a slow tone with noise, which audio mode codes smaller than
// LZ does.
Bytes Sound(std::size_t size, std::uint32_t seed)
{
    const Bytes noise = Noise(size, seed);
    Bytes out(size);
    for (std::size_t i = 0; i < size; ++i)
        out[i] = static_cast<std::uint8_t>(128 + 90 * std::sin(static_cast<double>(i) * 0.03) + noise[i] % 9);
    return out;
}

qmpack::EntrySpec Compressed(std::string name, const Bytes &data, const qmpack::EncoderOptions &options = {})
{
    qmpack::EntrySpec e = qmpack::StoredEntry(std::move(name), data);
    e.stored = qmpack::EncodeLz(data, options);
    return e;
}

qmpack::EntrySpec CompressedEnciphered(std::string name, const Bytes &data, std::int32_t method)
{
    qmpack::EntrySpec e = Compressed(std::move(name), data);
    e.stored = qmpack::EncipherData(e.stored, method, qmfuzz::kRightPassword, kChaining);
    e.cipherMethod = method;
    return e;
}

class Writer {
public:
    explicit Writer(std::filesystem::path folder) : folder_(std::move(folder))
    {
        std::filesystem::create_directories(folder_);
    }
    void Put(const std::string &name, const Bytes &bytes)
    {
        if (!qmpack::WriteFile((folder_ / name).string(), bytes)) {
            std::fprintf(stderr, "cannot write %s\n", (folder_ / name).c_str());
            std::exit(1);
        }
        ++count_;
    }
    int count() const { return count_; }

private:
    std::filesystem::path folder_;
    int count_ = 0;
};

// ---- exports: carriers whose first eight bytes are the host's choices ----------

Bytes Controls(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2, std::uint8_t b3, std::uint8_t b4,
               std::uint8_t b5, std::uint8_t b6, std::uint8_t b7)
{
    return {b0, b1, b2, b3, b4, b5, b6, b7};
}

void ExportSeeds(Writer &w)
{
    using namespace qmfuzz;
    const std::uint8_t keepNamed = kKeepDirectories | kFileNameProc;

    qmpack::CarrierSpec stored;
    stored.prefix = Controls(keepNamed, 0, 0x55, 0x1B, 1, 0, 0, 0);
    stored.entries = {qmpack::StoredEntry("A.TXT", Text(300)),
                      qmpack::StoredEntry("DIR\\SUB\\B.BIN", Noise(200, 1)),
                      qmpack::StoredEntry("dir/c.txt", Text(40)), qmpack::StoredEntry("EMPTY", {})};
    w.Put("stored.qm", qmpack::BuildCarrier(stored));
    stored.prefix = Controls(kExtractTwice | kKeepDirectories, 0, 0x55, 0xE4, 0, 0x05, 0, 0);
    w.Put("stored-twice.qm", qmpack::BuildCarrier(stored));

    qmpack::CarrierSpec lz;
    lz.prefix = Controls(keepNamed, 0, 0x55, 0, 2, 0, 0, 0);
    qmpack::EncoderOptions small;
    small.blockSymbols = 64;
    small.delta = qmpack::TableDelta::Always;
    lz.entries = {Compressed("DIR\\LZ.TXT", Text(5000)), Compressed("TABLES.TXT", Text(3000), small),
                  Compressed("WAVE.RAW", Wave(4000))};
    w.Put("lz.qm", qmpack::BuildCarrier(lz));
    lz.prefix = Controls(kOpenHid | kExtractHid, 0x01, 0, 0, 1, 0x08, 0x03, 0);
    w.Put("lz-hid.qm", qmpack::BuildCarrier(lz));

    // The audio flag set on a real stream: its tables read as audio tables.
    qmpack::CarrierSpec audio;
    audio.prefix = Controls(0, 0, 0x55, 0, 0, 0, 0, 0);
    qmpack::EntrySpec wave = Compressed("AUDIO.RAW", Wave(3000));
    wave.stored[0] |= 0x80;
    audio.entries = {wave};
    w.Put("audio.qm", qmpack::BuildCarrier(audio));

    for (const std::int32_t method : {0, 1, 2}) {
        qmpack::CarrierSpec ciphered;
        // The data password passed at open, or asked for (right, then wrong).
        ciphered.prefix = Controls(kOpenHid | kFileNameProc, 0x01, 0x99, 0, 0, 0, 0, 0);
        ciphered.entries = {qmpack::EncipheredEntry("STORED.TXT", Text(100), method, kRightPassword, kChaining),
                            CompressedEnciphered("DIR\\PACKED.TXT", Text(4000), method)};
        const std::string name = "cipher" + std::to_string(method);
        w.Put(name + ".qm", qmpack::BuildCarrier(ciphered));
        ciphered.prefix = Controls(0, 0, 0x69, 0, 0, 0x01, 0, 0x02);
        w.Put(name + "-asked.qm", qmpack::BuildCarrier(ciphered));
    }

    qmpack::CarrierSpec headers;
    headers.flags = 1;
    headers.encipherHeader = qmpack::HeaderEncipherer(kRightPassword);
    headers.entries = {qmpack::StoredEntry("SECRET\\A.TXT", Text(120)), Compressed("B.TXT", Text(2000)),
                       CompressedEnciphered("C.TXT", Text(2000), 1)};
    headers.prefix = Controls(kCryptKeyBeforeOpen | kKeepDirectories, 0, 0x55, 0, 0, 0, 0, 0);
    w.Put("headers-asked.qm", qmpack::BuildCarrier(headers));
    headers.prefix = Controls(kOpenHid | kKeepDirectories, 0x05, 0x55, 0, 0, 0, 0, 0);
    w.Put("headers-passed.qm", qmpack::BuildCarrier(headers));
    headers.flags = 0;
    headers.prefix = Controls(kOpenHid | kForceEnciphered, 0x05, 0x55, 0, 0, 0, 0, 0);
    w.Put("headers-forced.qm", qmpack::BuildCarrier(headers));
}

// ---- unpack: setting, unpacked size, stream --------------------------------------

// The stream behind a head of `skip` bytes and a 3-byte little-endian size
// field.  (Sized first and filled after: GCC 12 at -O3 warns on an
// initializer list grown by insert.)
Bytes BehindSizeField(std::size_t skip, std::uint32_t field, const Bytes &stream)
{
    Bytes out(skip + 3 + stream.size());
    for (std::size_t i = 0; i < 3; ++i)
        out[skip + i] = static_cast<std::uint8_t>(field >> (8 * i));
    std::copy(stream.begin(), stream.end(), out.begin() + static_cast<std::ptrdiff_t>(skip + 3));
    return out;
}

Bytes UnpackInput(std::uint8_t setting, std::size_t unpacked, const Bytes &stream)
{
    Bytes out = BehindSizeField(1, static_cast<std::uint32_t>(unpacked), stream);
    out[0] = setting;
    return out;
}

void UnpackSeeds(Writer &w)
{
    qmpack::EncoderOptions small;
    small.blockSymbols = 32;
    small.delta = qmpack::TableDelta::Alternate;
    const struct {
        const char *name;
        Bytes data;
        qmpack::EncoderOptions options;
    } streams[] = {
        {"text", Text(6000), {}},
        {"tables", Text(3000), small},
        {"noise", Noise(1500, 7), {}},
        {"wave", Wave(5000), {}},
        {"far", [] { Bytes b = Noise(3000, 3); Bytes t = Text(2000); b.insert(b.end(), t.begin(), t.end()); b.insert(b.end(), t.begin(), t.end()); return b; }(), {}},
    };
    for (const auto &s : streams) {
        const Bytes stream = qmpack::EncodeLz(s.data, s.options);
        w.Put(std::string(s.name) + ".bin", UnpackInput(0, s.data.size(), stream));
        w.Put(std::string(s.name) + "-audio.bin", UnpackInput(8, s.data.size(), stream));
        for (std::uint8_t method = 1; method < 4; ++method)
            w.Put(std::string(s.name) + "-cipher" + std::to_string(method - 1) + ".bin",
                  UnpackInput(static_cast<std::uint8_t>(method | 4), s.data.size(), stream));
    }
    // A stream that would run past the window's end: 1.5 MiB of one byte.
    const Bytes big(3 << 19, 'z');
    w.Put("window-wrap.bin", UnpackInput(32, big.size(), qmpack::EncodeLz(big)));
}

// ---- diff: unpacked size, stream --------------------------------------------------

Bytes DiffInput(std::size_t unpacked, const Bytes &stream)
{
    // Bit 23 of the size field keeps 21 bits of the size, else 16.
    const std::uint32_t field = static_cast<std::uint32_t>(unpacked) | (unpacked > 0xFFFF ? 0x800000u : 0u);
    return BehindSizeField(0, field, stream);
}

void DiffSeeds(Writer &w)
{
    qmpack::EncoderOptions small;
    small.blockSymbols = 40;
    small.delta = qmpack::TableDelta::Alternate;
    const auto audio = [](qmpack::AudioMode mode, int channels, std::size_t block) {
        qmpack::EncoderOptions o;
        o.audio = mode;
        o.audioChannels = channels;
        o.blockSymbols = block;
        o.delta = qmpack::TableDelta::Alternate;
        return o;
    };
    Bytes mixed = Sound(3000, 5);
    const Bytes text = Text(3000);
    mixed.insert(mixed.end(), text.begin(), text.end());
    const struct {
        const char *name;
        Bytes data;
        qmpack::EncoderOptions options;
    } streams[] = {
        {"text", Text(6000), {}},
        {"tables", Text(3000), small},
        {"noise", Noise(1500, 7), {}},
        {"wave-lz", Wave(5000), {}},
        {"sound-1", Sound(4000, 1), audio(qmpack::AudioMode::Always, 1, 700)},
        {"sound-2", Sound(4000, 2), audio(qmpack::AudioMode::Always, 2, 700)},
        {"sound-3", Sound(4000, 3), audio(qmpack::AudioMode::Always, 3, 700)},
        {"sound-4", Sound(4000, 4), audio(qmpack::AudioMode::Always, 4, 700)},
        {"sound-then-text", mixed, audio(qmpack::AudioMode::Auto, 0, 500)},
        {"text-as-audio", Text(2000), audio(qmpack::AudioMode::Always, 2, 300)},
    };
    for (const auto &s : streams) {
        const Bytes stream = qmpack::Encode(s.data, s.options);
        w.Put(std::string(s.name) + ".bin", DiffInput(s.data.size(), stream));
        // Cut short with a larger size: the stream ends with its data.
        const Bytes cut(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(stream.size() * 2 / 3));
        w.Put(std::string(s.name) + "-cut.bin", DiffInput(s.data.size() + 1000, cut));
    }
    // Cut a few bytes past the input buffer's second fill (8192 + 8160
    // bytes): the last step reads what the first fill left behind.
    const Bytes noise = Noise(20000, 11);
    const Bytes sound = Sound(40000, 12);
    const struct {
        const char *name;
        const Bytes &data;
        qmpack::EncoderOptions options;
    } long_streams[] = {
        {"noise-cut-after-refill", noise, {}},
        {"sound-cut-after-refill", sound, audio(qmpack::AudioMode::Always, 4, 3000)},
    };
    for (const auto &s : long_streams) {
        Bytes stream = qmpack::Encode(s.data, s.options);
        stream.resize(std::min<std::size_t>(stream.size(), 8192 + 8160 + 5));
        w.Put(std::string(s.name) + ".bin", DiffInput(s.data.size(), stream));
    }
    // Past the window's end: 1.5 MiB of one byte.
    const Bytes big(3 << 19, 'z');
    w.Put("window-wrap.bin", DiffInput(big.size(), qmpack::EncodeLz(big)));
}

// ---- names: settings, relative path, stored names ----------------------------------

Bytes Lines(std::uint8_t settings, const std::vector<std::string> &lines)
{
    Bytes out = {settings};
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0)
            out.push_back('\n');
        out.insert(out.end(), lines[i].begin(), lines[i].end());
    }
    return out;
}

void NameSeeds(Writer &w)
{
    w.Put("plain.txt", Lines(1, {"", "A.TXT", "DIR\\SUB\\B.TXT", "dir/c.txt"}));
    w.Put("climb.txt", Lines(1, {"", "..\\..\\evil.txt", "DIR\\..\\..\\x", "../y", "a/../../z", "...\\w"}));
    w.Put("rooted.txt", Lines(1, {"", "\\\\server\\share\\f", "C:\\WINDOWS\\f", "C:..\\f", "/etc/f", "\\\\?\\C:\\f"}));
    w.Put("relative.txt", Lines(3, {"DIR", "DIR\\A.TXT", "DIRX\\..\\..\\B", "D", "DIR\\", "DIR\\\\..\\C"}));
    w.Put("empty-output.txt", Lines(0x11, {"", "..\\up", "x\\..\\..\\y", "."}));
    w.Put("long.txt", Lines(0x09, {std::string(200, 'r'), std::string(255, 'n'), std::string(300, 'm') + "\\..\\..\\q"}));
    w.Put("devices.txt", Lines(1, {"", "CON", "aux.txt", "dir\\NUL.", "COM1 ", "trailing. ", "a:b"}));
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: qm_fuzz_seeds FOLDER\n");
        return 2;
    }
    const std::filesystem::path root(argv[1]);
    Writer exports(root / "exports"), unpack(root / "unpack"), names(root / "names"), diff(root / "diff");
    Writer reader(root / "reader");
    ExportSeeds(exports);
    // The handle API's target takes the same carriers: it reads the first
    // of the host's eight bytes as its own control byte, and the other seven
    // are bytes in front of the signature.
    ExportSeeds(reader);
    UnpackSeeds(unpack);
    NameSeeds(names);
    DiffSeeds(diff);
    std::printf("seeds: %d exports, %d unpack, %d names, %d diff, %d reader\n", exports.count(), unpack.count(),
                names.count(), diff.count(), reader.count());
    return 0;
}
