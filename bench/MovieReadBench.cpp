// plumeroc-grab info and needs over a 50 MiB "CWS" movie, against zlib alone inflating the same
// movie in the same run; and needs over hostile movies of the same decoded size (a few million tiny
// tags, sprites nested far past the reader's depth, constant pools of a million strings) against the
// realistic one. Each figure is the best of five runs. Output goes to /dev/null.
#include "support/MovieMaking.h"
#include "support/RunGrab.h"
#include "support/TempFolder.h"

#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <random>
#include <string>

namespace {

constexpr std::size_t kBodySize = std::size_t{50} << 20;
constexpr int kRuns = 5;

// A frame header: 550x400 pixels (a rectangle of 15-bit fields), 24 frames a second, one frame.
std::string FrameHeader()
{
    std::string bytes;
    unsigned long long bits = 0;
    int count = 0;
    const auto put = [&](unsigned value, int width) {
        for (int i = width - 1; i >= 0; --i) {
            bits = bits << 1 | ((value >> i) & 1U);
            if (++count == 8) {
                bytes += static_cast<char>(bits);
                bits = 0;
                count = 0;
            }
        }
    };
    put(15, 5);
    for (const unsigned value : {0U, 11000U, 0U, 8000U})
        put(value, 15);
    if (count > 0)
        bytes += static_cast<char>(bits << (8 - count));
    return bytes + std::string("\x00\x18\x01\x00", 4);
}

void PutU16(std::string& out, unsigned value)
{
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>(value >> 8 & 0xFF);
}

// One DoAction: a constant pool of `strings`, pushes of each, a GetURL2 into a level.
std::string Actions(const std::vector<std::string>& strings)
{
    std::string pool;
    PutU16(pool, static_cast<unsigned>(strings.size()));
    for (const std::string& s : strings)
        pool += s + '\0';
    std::string code = "\x88";
    PutU16(code, static_cast<unsigned>(pool.size()));
    code += pool;
    for (std::size_t i = 0; i < strings.size(); ++i) {
        code += "\x96\x03\x00\x09";
        PutU16(code, static_cast<unsigned>(i));
        code += "\x17"; // Pop
    }
    return code + '\0';
}

// Realistic: pictures and sounds (noise, as compressed media is), shapes (repetitive), and a few
// hundred frames of actions naming the levels and sounds they load.
std::string RealisticBody()
{
    std::mt19937 random(42);
    std::string body = FrameHeader();
    for (int n = 0; body.size() < kBodySize - 64 * 1024; ++n) {
        std::string media(40000 + random() % 40000, '\0');
        for (char& c : media)
            c = static_cast<char>(random());
        body += test::Tag(n % 2 ? 21 : 14, media); // DefineBitsJPEG2, DefineSound
        std::string shape;
        while (shape.size() < 60000)
            shape += "\x15\x00\x01\x00\x64\x00\x10\x27\x00\x00\xa8\x61\x00\x00" + std::to_string(random() % 1000);
        body += test::Tag(32, shape); // DefineShape3
        body += test::Tag(12,
                          Actions({"level" + std::to_string(n) + ".swf", "sounds/s" + std::to_string(n) + ".mp3",
                                   "_root", "gotoAndPlay", "score"}));
        body += std::string("\x40\x00", 2); // ShowFrame
    }
    return body + std::string(2, '\0');
}

std::string TinyTagsBody()
{
    std::string body = FrameHeader();
    const std::string tag = test::Tag(12, Actions({"a"}));
    while (body.size() < kBodySize - tag.size() - 2)
        body += body.size() % 3 ? tag : std::string("\x40\x00", 2);
    return body + std::string(2, '\0');
}

std::string DeepSpritesBody()
{
    // Chains of sprites 40 deep, each holding a DoAction at the bottom, repeated to the size.
    std::string chain = test::Tag(12, Actions({"deep.swf"})) + std::string(2, '\0');
    for (int level = 0; level < 40; ++level)
        chain = test::Tag(39, std::string("\x01\x00\x01\x00", 4) + chain) + std::string(2, '\0');
    chain.resize(chain.size() - 2);
    std::string body = FrameHeader();
    while (body.size() < kBodySize - chain.size() - 2)
        body += chain;
    return body + std::string(2, '\0');
}

std::string ManyStringsBody()
{
    // A million pooled strings, one in a hundred an address, in pools of 60,000 (a pool holds 65,535).
    std::string body = FrameHeader();
    std::vector<std::string> strings;
    for (int n = 0; n < 1000000; ++n) {
        strings.push_back(n % 100 ? "s" + std::to_string(n) : "files/f" + std::to_string(n) + ".xml");
        if (strings.size() == 60000) {
            body += test::Tag(12, Actions(strings));
            strings.clear();
        }
    }
    body += test::Tag(12, Actions(strings));
    // Filled to the size with plain tags.
    std::string filler(std::min<std::size_t>(kBodySize - body.size() - 16, 1 << 20), '\x11');
    while (body.size() + filler.size() + 8 < kBodySize)
        body += test::Tag(87, std::string(6, '\0') + filler);
    return body + std::string(2, '\0');
}

std::string AsCws(const std::string& body) { return test::AsZlib(test::UncompressedMovie(10, body), 6); }

double Best(const std::function<void()>& run)
{
    double best = 1e9;
    for (int i = 0; i < kRuns; ++i) {
        const auto start = std::chrono::steady_clock::now();
        run();
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

double Inflate(const std::string& movie)
{
    return Best([&] {
        z_stream stream{};
        inflateInit(&stream);
        std::string out(kBodySize + 64, '\0');
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(movie.data() + 8));
        stream.avail_in = static_cast<uInt>(movie.size() - 8);
        stream.next_out = reinterpret_cast<Bytef*>(out.data());
        stream.avail_out = static_cast<uInt>(out.size());
        inflate(&stream, Z_FINISH);
        inflateEnd(&stream);
    });
}

double Grab(const test::TempFolder& scratch, const std::vector<std::string>& args)
{
    return Best([&] { test::RunGrab(args, scratch.Path(), {}, std::nullopt, "/dev/null"); });
}

} // namespace

int main()
{
    const test::TempFolder scratch;
    const std::string realistic = AsCws(RealisticBody());
    const std::string file = scratch.Write("realistic.swf", realistic);
    std::printf("realistic movie: %.1f MiB compressed, %.1f MiB decoded\n",
                static_cast<double>(realistic.size()) / 1048576.0, static_cast<double>(kBodySize) / 1048576.0);
    const double zlib = Inflate(realistic);
    const double info = Grab(scratch, {"info", file});
    const double needs = Grab(scratch, {"needs", file});
    std::printf("zlib inflate alone: %.3f s\n", zlib);
    std::printf("info: %.3f s, ratio %.2f against zlib (at most 1.3)\n", info, info / zlib);
    std::printf("needs: %.3f s, ratio %.2f against zlib (at most 1.3)\n", needs, needs / zlib);

    const struct {
        const char* name;
        std::string (*body)();
    } hostile[] = {
        {"tiny tags", TinyTagsBody}, {"deep sprites", DeepSpritesBody}, {"a million strings", ManyStringsBody}};
    for (const auto& h : hostile) {
        const std::string path = scratch.Write("hostile.swf", AsCws(h.body()));
        const double time = Grab(scratch, {"needs", path});
        std::printf("needs on %s: %.3f s, ratio %.2f against the realistic movie (at most 3)\n", h.name, time,
                    time / needs);
    }
    return 0;
}
