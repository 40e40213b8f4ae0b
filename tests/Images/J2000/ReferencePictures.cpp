#include "tests/Images/J2000/ReferencePictures.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <random>

namespace j2000test {

Picture MakePicture(int w, int h, int n, int bits) {
    Picture p{w, h, n, bits, {}};
    std::mt19937 random(w * 131 + h * 7 + n);
    const int top = (1 << bits) - 1;
    for (int c = 0; c < n; ++c) {
        std::vector<int> plane(static_cast<size_t>(w) * h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                plane[y * w + x] =
                    std::min(top, (x * 3 + y * 5 + c * 40) * top / (3 * w + 5 * h + 80) +
                                      static_cast<int>(random() % (top / 16 + 1)));
        p.planes.push_back(std::move(plane));
    }
    return p;
}

void WritePnm(const Picture& p, const std::string& path) {
    std::ofstream out(path, std::ios::binary);
    out << (p.components == 1 ? "P5" : "P6") << "\n"
        << p.width << " " << p.height << "\n"
        << ((1 << p.bits) - 1) << "\n";
    for (int i = 0; i < p.width * p.height; ++i)
        for (int c = 0; c < p.components; ++c) {
            const int v = p.planes[c][i];
            if (p.bits > 8)
                out.put(static_cast<char>(v >> 8));
            out.put(static_cast<char>(v & 0xFF));
        }
}

bool EncodeWithReference(const Picture& p, const std::string& dir, const std::string& options,
                         const std::string& coded) {
    const std::string source = dir + (p.components == 1 ? "/in.pgm" : "/in.ppm");
    WritePnm(p, source);
    const std::string command =
        "opj_compress -i " + source + " -o " + coded + " " + options + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

bool HaveReferenceTools() {
    return std::system(
               "command -v opj_compress >/dev/null && "
               "command -v opj_decompress >/dev/null") == 0;
}

}  // namespace j2000test
