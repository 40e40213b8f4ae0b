// Writes the seed inputs of the WIC fuzz harness into the folder given: small files made
// by the test encoder covering the decoder's roads (colour, grey, one level and several, odd
// picture sizes, a step other than 1, a plane ended early) and a few that must be refused
// (cut short, a bad escape, a header only).

#include <cstdio>
#include <string>
#include <vector>

#include "tests/Components/ImgPanel/WicTestEncoder.h"

namespace {

std::vector<uint8_t> Picture(int width, int height, int levels, float step = 1.0f,
                             bool grain = true) {
    return wictest::EncodeWic(wictest::TransformPicture(wictest::TestPicture(width, height, grain),
                                                        width, height, levels, step));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    std::vector<std::pair<std::string, std::vector<uint8_t>>> seeds = {
        {"colour.wic", Picture(24, 16, 3)},
        {"one-level.wic", Picture(9, 7, 1)},
        {"three-levels-wide.wic", Picture(64, 8, 3, 1.0f, false)},
        {"odd-size.wic", Picture(13, 11, 2)},
        {"step-quarter.wic", Picture(16, 16, 2, 0.25f)},
    };
    wictest::Coefficients grey =
        wictest::TransformPicture(wictest::TestPicture(16, 12, false), 16, 12, 2);
    grey.plane[1].assign(grey.plane[1].size(), 0);
    grey.plane[2].assign(grey.plane[2].size(), 0);
    seeds.push_back({"grey.wic", wictest::EncodeWic(grey)});
    seeds.push_back(
        {"cut-plane.wic",
         wictest::EncodeWic(wictest::TransformPicture(wictest::TestPicture(16, 8, true), 16, 8, 2),
                            {.cutLumaLastBitPlane = true})});
    std::vector<uint8_t> cut = seeds[0].second;
    cut.resize(cut.size() / 2);
    seeds.push_back({"truncated.wic", cut});
    std::vector<uint8_t> escape = seeds[0].second;
    escape.insert(escape.begin() + 30, {0xFF, 0x07});
    seeds.push_back({"bad-escape.wic", escape});
    seeds.push_back({"header-only.wic",
                     std::vector<uint8_t>(seeds[0].second.begin(), seeds[0].second.begin() + 24)});
    for (const auto& [name, bytes] : seeds) {
        if (!wictest::WriteFile(folder + "/" + name, bytes)) {
            std::fprintf(stderr, "cannot write %s\n", name.c_str());
            return 1;
        }
    }
    return 0;
}
