// Runs the fuzz entry point over saved inputs without libFuzzer, so the seeds and every
// crash file ever found replay as an ordinary test under any compiler and sanitizer.
// Arguments are files or folders (a folder's regular files, in name order); an argument
// that names nothing, or an empty set of inputs, fails so a misplaced corpus is noticed.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size);

namespace fs = std::filesystem;

namespace {

bool CollectInputs(const fs::path& argument, std::vector<fs::path>& inputs) {
    std::error_code error;
    if (fs::is_regular_file(argument, error)) {
        inputs.push_back(argument);
        return true;
    }
    if (!fs::is_directory(argument, error)) {
        std::cerr << "no such input: " << argument << '\n';
        return false;
    }
    std::vector<fs::path> found;
    for (const fs::directory_entry& entry : fs::directory_iterator(argument, error)) {
        if (entry.is_regular_file(error)) {
            found.push_back(entry.path());
        }
    }
    std::sort(found.begin(), found.end());
    inputs.insert(inputs.end(), found.begin(), found.end());
    return !error;
}

bool ReadAll(const fs::path& path, std::vector<uint8_t>& bytes) {
    std::ifstream in(path, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<fs::path> inputs;
    bool ok = true;
    for (int i = 1; i < argc; ++i) {
        ok = CollectInputs(argv[i], inputs) && ok;
    }
    if (!ok || inputs.empty()) {
        std::cerr << "usage: " << argv[0] << " <file-or-folder>...  (at least one input)\n";
        return 2;
    }
    std::vector<uint8_t> bytes;
    for (const fs::path& path : inputs) {
        if (!ReadAll(path, bytes)) {
            std::cerr << "cannot read " << path << '\n';
            return 2;
        }
        // Named before it runs, so a crash log shows which file did it.
        std::cout << "replaying " << path.filename().string() << " (" << bytes.size() << " bytes)"
                  << std::endl;
        LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    }
    std::cout << inputs.size() << " inputs replayed\n";
    return 0;
}
