#include "demo_images.h"

#include <zlib.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

namespace velmora::demo {
namespace {

struct Rgb {
    std::uint8_t r, g, b;
};

// Sky, sea, field, dusk, night, autumn: a gradient with a sun or moon and a horizon.
struct Scene {
    Rgb top, bottom, ground, disc;
};

constexpr std::array<Scene, 6> kScenes{{
    {{90, 160, 230}, {200, 230, 250}, {70, 150, 70}, {255, 220, 80}},
    {{40, 110, 200}, {150, 210, 240}, {20, 80, 160}, {255, 240, 200}},
    {{120, 190, 240}, {230, 240, 210}, {150, 190, 60}, {255, 200, 60}},
    {{250, 120, 60}, {250, 210, 140}, {90, 60, 80}, {255, 90, 40}},
    {{10, 20, 60}, {50, 60, 120}, {20, 30, 40}, {240, 240, 210}},
    {{200, 90, 40}, {240, 190, 110}, {140, 70, 30}, {255, 230, 150}},
}};

std::uint8_t Mix(std::uint8_t a, std::uint8_t b, double t) {
    return static_cast<std::uint8_t>(std::lround(a + (b - a) * t));
}

void AppendBigEndian(std::string& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<char>((value >> shift) & 0xFF));
    }
}

void AppendChunk(std::string& out, const char* type, const std::string& data) {
    AppendBigEndian(out, static_cast<std::uint32_t>(data.size()));
    std::string body(type, 4);
    body += data;
    out += body;
    uLong crc =
        crc32(0L, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()));
    AppendBigEndian(out, static_cast<std::uint32_t>(crc));
}

}  // namespace

std::string DemoPicture(int number) {
    if (number < 1 || number > static_cast<int>(kScenes.size())) return {};
    const Scene& scene = kScenes[static_cast<std::size_t>(number - 1)];
    const int horizon = kPictureHeight * 2 / 3;
    const double discX = 30.0 + 12.0 * number, discY = 22.0, radius = 11.0;

    // Raw scanlines: filter byte 0, then RGB triples.
    std::vector<Bytef> raw;
    raw.reserve(static_cast<std::size_t>(kPictureHeight) * (1 + kPictureWidth * 3));
    for (int y = 0; y < kPictureHeight; ++y) {
        raw.push_back(0);
        for (int x = 0; x < kPictureWidth; ++x) {
            Rgb c;
            if (y >= horizon) {
                double shade = 1.0 - 0.3 * (y - horizon) / (kPictureHeight - horizon);
                c = {static_cast<std::uint8_t>(scene.ground.r * shade),
                     static_cast<std::uint8_t>(scene.ground.g * shade),
                     static_cast<std::uint8_t>(scene.ground.b * shade)};
            } else {
                double t = static_cast<double>(y) / horizon;
                c = {Mix(scene.top.r, scene.bottom.r, t), Mix(scene.top.g, scene.bottom.g, t),
                     Mix(scene.top.b, scene.bottom.b, t)};
                if (std::hypot(x - discX, y - discY) <= radius) c = scene.disc;
            }
            raw.push_back(c.r);
            raw.push_back(c.g);
            raw.push_back(c.b);
        }
    }

    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    std::string packed(packedSize, '\0');
    if (compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize, raw.data(),
                  static_cast<uLong>(raw.size()), Z_BEST_COMPRESSION) != Z_OK) {
        return {};
    }
    packed.resize(packedSize);

    std::string header;
    AppendBigEndian(header, kPictureWidth);
    AppendBigEndian(header, kPictureHeight);
    header += std::string("\x08\x02\x00\x00\x00", 5);  // 8-bit RGB, no interlace

    std::string png("\x89PNG\r\n\x1a\n", 8);
    AppendChunk(png, "IHDR", header);
    AppendChunk(png, "IDAT", packed);
    AppendChunk(png, "IEND", {});
    return png;
}

}  // namespace velmora::demo
