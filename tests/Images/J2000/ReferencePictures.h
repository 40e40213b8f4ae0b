// Test-only pictures for the reference encoder (opj_compress): smooth ramps with a little noise,
// so that every resolution level carries data, written as PGM or PPM.
#pragma once

#include <string>
#include <vector>

namespace j2000test {

struct Picture {
    int width, height, components, bits;
    std::vector<std::vector<int>> planes;  // per component, row-major
};

Picture MakePicture(int w, int h, int n, int bits);
void WritePnm(const Picture& p, const std::string& path);
// Writes `p` into `dir` and codes it with opj_compress and `options` into `coded`: false when
// the encoder fails.
bool EncodeWithReference(const Picture& p, const std::string& dir, const std::string& options,
                         const std::string& coded);
// opj_compress and opj_decompress (libopenjp2-tools) can be run.
bool HaveReferenceTools();

}  // namespace j2000test
