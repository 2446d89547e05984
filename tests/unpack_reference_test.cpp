// The library's decoder against the slow reference decoder
// (reference/reference_decoder.h): the same bytes out, and the same CRC
// verdict, for our encoder's streams in LZ and audio mode, for every
// compressed entry of the shared corpus, and for damaged streams.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "audio_inputs.h"
#include "encoder_inputs.h"
#include "extract/export_session.h"
#include "packer/encoder.h"
#include "reference/reference_decoder.h"
#include "unpack/bit_input.h"
#include "unpack_harness.h"

namespace {

using qmpack::Bytes;
using qmpack::AudioMode;

std::string FirstDifference(const Bytes &library, const Bytes &reference)
{
    const auto mismatch = std::mismatch(library.begin(), library.end(), reference.begin(), reference.end());
    const auto at = static_cast<std::size_t>(mismatch.first - library.begin());
    return "library " + std::to_string(library.size()) + " bytes, reference " +
           std::to_string(reference.size()) + " bytes, first difference at " + std::to_string(at);
}

// Decodes the stream of packed data at offset of the carrier with the library
// and the reference; expects the same bytes and the CRC of those bytes.
// Returns the reference's bytes.
Bytes ExpectSameAt(const std::string &carrier, std::int64_t offset, const Bytes &packed, std::int32_t size,
                   const qmtest::TempDir &dir, qm::ExportSession *session = nullptr)
{
    const auto library = qmtest::DecodeAt(carrier, offset, static_cast<std::uint32_t>(packed.size()), size,
                                          {.workDir = &dir, .session = session});
    const Bytes reference = qmtest::ReferenceDecode(packed, static_cast<std::uint32_t>(size));
    EXPECT_EQ(library.status, 0);
    EXPECT_TRUE(library.output == reference) << FirstDifference(library.output, reference);
    EXPECT_EQ(library.crc, qmpack::Crc32(reference));
    return reference;
}

Bytes ExpectSame(const Bytes &stream, std::int32_t size, const qmtest::TempDir &dir,
                 qm::ExportSession *session = nullptr)
{
    const std::string path = dir.Write("stream.bin", stream);
    return ExpectSameAt(path, 0, stream, size, dir, session);
}

qmpack::EncoderOptions LzOptions(std::size_t blockSymbols, qmpack::TableDelta delta, int chain, bool lazy)
{
    qmpack::EncoderOptions o;
    o.blockSymbols = blockSymbols;
    o.delta = delta;
    o.maxChain = chain;
    o.lazy = lazy;
    return o;
}

TEST(UnpackReference, EncoderLzStreamsDecodeAlike)
{
    struct Options {
        const char *name;
        qmpack::EncoderOptions options;
    };
    const Options sets[] = {
        {"default", {}},
        {"small blocks, plain tables, greedy", LzOptions(1000, qmpack::TableDelta::Never, 8, false)},
        {"tiny blocks, delta tables", LzOptions(97, qmpack::TableDelta::Always, 4, true)},
    };
    qmtest::TempDir dir;
    for (const auto &input : qmtest::RoundTripInputs()) {
        for (const Options &o : sets) {
            // The inputs past a window once, with the default options.
            if (input.data.size() > qm::kWindowSize && &o != &sets[0])
                continue;
            SCOPED_TRACE(input.name + " / " + o.name);
            const Bytes stream = qmpack::EncodeLz(input.data, o.options);
            const Bytes decoded = ExpectSame(stream, static_cast<std::int32_t>(input.data.size()), dir);
            // The reference itself gives the original back.
            EXPECT_TRUE(decoded == input.data);
        }
    }
}

// The fast loop is built twice (for the baseline and for processors with
// BMI2); the decoder runs the fastest, so the other is run here by hand.
TEST(UnpackReference, EveryBuildOfTheFastLoopDecodesAlike)
{
    qmtest::TempDir dir;
    int built = 0;
    for (const qm::LzLoop loop : {qm::LzLoop::Baseline, qm::LzLoop::Bmi2}) {
        if (!qm::LzLoopRuns(loop))
            continue;
        ++built;
        for (const auto &input : qmtest::RoundTripInputs()) {
            for (const std::size_t blockSymbols : {std::size_t{0}, std::size_t{97}}) {
                if (input.data.size() > qm::kWindowSize && blockSymbols != 0)
                    continue;
                SCOPED_TRACE(input.name + (loop == qm::LzLoop::Bmi2 ? " / BMI2" : " / baseline") +
                             (blockSymbols ? " / tiny blocks" : ""));
                qmpack::EncoderOptions o;
                if (blockSymbols)
                    o = LzOptions(blockSymbols, qmpack::TableDelta::Always, 4, true);
                const auto session = std::make_unique<qm::ExportSession>();
                session->decoder.lzLoop = loop;
                const Bytes decoded = ExpectSame(qmpack::EncodeLz(input.data, o),
                                                 static_cast<std::int32_t>(input.data.size()), dir, session.get());
                EXPECT_TRUE(decoded == input.data);
            }
        }
    }
    EXPECT_GE(built, 1);
}

TEST(UnpackReference, EncoderAudioStreamsDecodeAlike)
{
    // Every audio input with its own options, then with every audio mode and
    // channel count; text and binary inputs in audio mode too, and the
    // automatic choice on inputs that switch between the modes.
    std::vector<qmtest::AudioCase> cases = qmtest::AudioRoundTripCases();
    const qmpack::Bytes stereo = qmtest::PcmBytes(12000, 2, 2, 21);
    const qmpack::Bytes mono8 = qmtest::PcmBytes(20000, 1, 1, 22);
    for (const AudioMode mode : {AudioMode::Never, AudioMode::Always, AudioMode::Auto}) {
        for (const int channels : {0, 1, 2, 3, 4}) {
            const std::string tag = std::string(mode == AudioMode::Never    ? "never"
                                                : mode == AudioMode::Always ? "always"
                                                                            : "auto") +
                                    ", channels " + std::to_string(channels);
            cases.push_back({"16-bit stereo, " + tag, stereo, qmtest::AudioOptions(mode, channels, 5000)});
            cases.push_back({"8-bit mono, " + tag, mono8, qmtest::AudioOptions(mode, channels, 7001)});
        }
    }
    cases.push_back({"text in audio mode", qmtest::TextBytes(30000, 23), qmtest::AudioOptions(AudioMode::Always, 0, 4000)});
    cases.push_back({"binary in audio mode", qmtest::BinaryBytes(30000, 24), qmtest::AudioOptions(AudioMode::Always, 3, 4000)});
    cases.push_back({"mixed, automatic", qmtest::MixedSoundFile(20000, 25), qmtest::AudioOptions(AudioMode::Auto, 0, 3000)});

    qmtest::TempDir dir;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes stream = qmpack::Encode(c.data, c.options);
        const Bytes decoded = ExpectSame(stream, static_cast<std::int32_t>(c.data.size()), dir);
        EXPECT_TRUE(decoded == c.data);
    }
}

// ---- the shared corpus -------------------------------------------------------------

// The value of "key": in a flat stretch of a manifest (a number, true/false,
// or the text of a string without its quotes); empty when absent.
std::string ManifestValue(const std::string &text, const std::string &key)
{
    const std::string quoted = "\"" + key + "\"";
    std::size_t at = text.find(quoted);
    if (at == std::string::npos)
        return {};
    at = text.find(':', at + quoted.size());
    if (at == std::string::npos)
        return {};
    at = text.find_first_not_of(" \t\r\n", at + 1);
    if (at == std::string::npos)
        return {};
    if (text[at] == '"') {
        const std::size_t end = text.find('"', at + 1);
        return text.substr(at + 1, end - at - 1);
    }
    const std::size_t end = text.find_first_of(",}\r\n", at);
    return text.substr(at, end - at);
}

struct CorpusEntry {
    std::string name;
    std::int64_t dataOffset;
    std::uint32_t packed;
    std::int32_t unpacked;
    std::uint32_t crc;
    bool compressed;
    bool enciphered;
};

// The entries of a manifest, in archive order, with where their data lies:
// behind each 432-byte header block, the next block behind the data.
std::vector<CorpusEntry> ManifestEntries(const std::string &manifest)
{
    std::vector<CorpusEntry> entries;
    std::int64_t block = std::stoll(ManifestValue(manifest, "first_block"));
    std::size_t at = manifest.find("\"entries\"");
    while (at != std::string::npos) {
        const std::size_t open = manifest.find('{', at);
        if (open == std::string::npos)
            break;
        const std::size_t close = manifest.find('}', open);
        const std::string object = manifest.substr(open, close - open + 1);
        CorpusEntry e;
        e.name = ManifestValue(object, "name");
        e.dataOffset = block + static_cast<std::int64_t>(qmpack::kHeaderBlockSize);
        e.packed = static_cast<std::uint32_t>(std::stoul(ManifestValue(object, "packed")));
        e.unpacked = static_cast<std::int32_t>(std::stol(ManifestValue(object, "unpacked")));
        e.crc = static_cast<std::uint32_t>(std::stoul(ManifestValue(object, "crc"), nullptr, 16));
        e.compressed = ManifestValue(object, "compressed") == "true";
        const std::string cipher = ManifestValue(object, "cipher");
        e.enciphered = ManifestValue(object, "enciphered") == "true" || (!cipher.empty() && cipher != "-1");
        entries.push_back(e);
        block = e.dataOffset + e.packed;
        at = close;
    }
    return entries;
}

Bytes FileBytes(const std::string &path, std::int64_t offset, std::uint32_t size)
{
    std::ifstream in(path, std::ios::binary);
    in.seekg(offset);
    Bytes out(size);
    in.read(reinterpret_cast<char *>(out.data()), static_cast<std::streamsize>(size));
    out.resize(static_cast<std::size_t>(in.gcount()));
    return out;
}

TEST(UnpackReference, EveryCompressedCorpusEntryDecodesAlike)
{
    int compared = 0;
    qmtest::TempDir dir;
    for (const auto &file : std::filesystem::directory_iterator(QM_CORPUS_DIR)) {
        if (file.path().extension() != ".json")
            continue;
        std::ifstream in(file.path(), std::ios::binary);
        const std::string manifest((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const std::string carrier = qmtest::CorpusFile(ManifestValue(manifest, "carrier"));
        for (const CorpusEntry &e : ManifestEntries(manifest)) {
            if (!e.compressed || e.enciphered)
                continue;
            SCOPED_TRACE(file.path().filename().string() + ": " + e.name);
            const Bytes packed = FileBytes(carrier, e.dataOffset, e.packed);
            ASSERT_EQ(packed.size(), e.packed);
            const Bytes decoded = ExpectSameAt(carrier, e.dataOffset, packed, e.unpacked, dir);
            EXPECT_EQ(qmpack::Crc32(decoded), e.crc);
            ++compared;
        }
    }
    EXPECT_GT(compared, 0) << "no compressed entry in " << QM_CORPUS_DIR;
}

// ---- damaged streams -----------------------------------------------------------------

TEST(UnpackReference, DamagedStreamsDecodeAlike)
{
    // Real streams cut anywhere (also around the input buffer's refills at
    // 8160-byte steps), with a bit flipped, with a byte inserted, and random
    // bytes; each with its own size or a larger one, so that a damaged stream
    // runs on until its data is used up.  Every round must come out the same
    // in both decoders, the bytes past the real data included.
    struct Original {
        Bytes data;
        Bytes stream;
    };
    std::vector<Original> originals;
    const auto add = [&](Bytes data, const qmpack::EncoderOptions &options) {
        Bytes stream = qmpack::Encode(data, options);
        originals.push_back({std::move(data), std::move(stream)});
    };
    add(qmtest::TextBytes(60000, 31), LzOptions(300, qmpack::TableDelta::Alternate, 8, true));
    add(qmtest::BinaryBytes(40000, 32), LzOptions(2000, qmpack::TableDelta::Always, 8, true));
    add(qmtest::RunBytes(80000, 33), {});
    add(qmtest::RandomBytes(20000, 34), {});
    add(qmtest::PcmBytes(15000, 2, 2, 35), qmtest::AudioOptions(AudioMode::Always, 0, 2000));
    add(qmtest::PcmBytes(20000, 1, 1, 36), qmtest::AudioOptions(AudioMode::Always, 3, 5000));
    add(qmtest::MixedSoundFile(8000, 37), qmtest::AudioOptions(AudioMode::Auto, 0, 1500));

    std::uint32_t seed = 4242;
    int rejected = 0, damaged = 0;
    qmtest::TempDir dir;
    for (int round = 0; round < 700; ++round) {
        const std::uint32_t r = qmtest::NextRandom(seed);
        Bytes stream;
        std::int32_t size;
        const Original *original = nullptr;
        if (round % 5 == 0) {
            stream = qmtest::RandomBytes(r % 20000, r);
            if (r & 0x100)
                stream[0] |= 0x80;  // audio tables first
            size = static_cast<std::int32_t>(qmtest::NextRandom(seed) % 200000);
        } else {
            original = &originals[r % originals.size()];
            stream = original->stream;
            size = static_cast<std::int32_t>(original->data.size());
            if ((r >> 4) % 4 == 0)
                size += static_cast<std::int32_t>(qmtest::NextRandom(seed) % 100000);
            const std::uint32_t at = qmtest::NextRandom(seed) % static_cast<std::uint32_t>(stream.size());
            switch ((r >> 8) % 4) {
            case 0:
                stream.resize(at);
                break;
            case 1: {
                // A cut a few bytes either side of where a refill starts.
                const std::size_t refill = 8192 + 8160 * ((at / 8160) % 3);
                stream.resize(std::min(stream.size(), refill - 40 + (r >> 16) % 80));
                break;
            }
            case 2:
                stream[at] ^= static_cast<std::uint8_t>(1u << ((r >> 16) & 7));
                break;
            default:
                stream.insert(stream.begin() + at, static_cast<std::uint8_t>(r >> 24));
                break;
            }
        }
        SCOPED_TRACE("round " + std::to_string(round));
        const Bytes decoded = ExpectSame(stream, size, dir);
        if (original && stream != original->stream) {
            ++damaged;
            rejected += qmpack::Crc32(decoded) != qmpack::Crc32(original->data);
        }
        if (HasFatalFailure() || HasNonfatalFailure())
            break;
    }
    EXPECT_GT(rejected, damaged * 9 / 10);
}

}  // namespace

// The last step of a stream cut short may read past the real data, into
// whatever the input buffer holds there.  Each stream starts on a cleared
// buffer, so that is never a byte of an earlier entry: the same damaged
// stream decodes alike whatever was extracted before it.
TEST(UnpackReference, CutStreamsDoNotSeeTheEntryBefore)
{
    const Bytes text = qmtest::TextBytes(5000, 2);
    const Bytes full = qmpack::EncodeLz(text);
    const Bytes before[] = {qmpack::EncodeLz(qmtest::RandomBytes(20000, 1)), Bytes(9000, 0)};
    const std::int32_t beforeSizes[] = {20000, 0};
    for (std::size_t cut = 100; cut < full.size(); cut += 37) {
        SCOPED_TRACE(cut);
        const Bytes stream(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(cut));
        Bytes first;
        for (int k = 0; k < 2; ++k) {
            qmtest::DecodeStream(before[k], beforeSizes[k]);
            const Bytes out = qmtest::DecodeStream(stream, 5000).output;
            if (k == 0)
                first = out;
            else
                EXPECT_TRUE(out == first) << FirstDifference(out, first);
        }
        EXPECT_TRUE(first == qmtest::ReferenceDecode(stream, 5000));
    }
}
