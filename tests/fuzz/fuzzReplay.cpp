// Replays a fuzz target's corpus without libFuzzer: every file of the
// folders (or the files) named on the command line goes once through the
// target's LLVMFuzzerTestOneInput, in name order. A crash or a failed check
// in the target ends the program abnormally; finding no input is an error.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace {

std::vector<std::filesystem::path> inputsOf(const std::filesystem::path &p)
{
    std::vector<std::filesystem::path> out;
    if (std::filesystem::is_directory(p)) {
        for (const auto &e : std::filesystem::directory_iterator(p))
            if (e.is_regular_file())
                out.push_back(e.path());
        std::sort(out.begin(), out.end());
    } else if (std::filesystem::is_regular_file(p)) {
        out.push_back(p);
    }
    return out;
}

} // namespace

int main(int argc, char **argv)
{
    std::vector<std::filesystem::path> inputs;
    for (int i = 1; i < argc; ++i) {
        // Absolute: a target may change the current folder.
        const auto found = inputsOf(std::filesystem::absolute(argv[i]));
        if (found.empty())
            std::fprintf(stderr, "no input in %s\n", argv[i]);
        inputs.insert(inputs.end(), found.begin(), found.end());
    }
    if (inputs.empty()) {
        std::fprintf(stderr, "usage: %s CORPUS_FOLDER_OR_FILE...\n", argv[0]);
        return 2;
    }
    const auto start = std::chrono::steady_clock::now();
    for (const auto &p : inputs) {
        std::ifstream in(p, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (!in.good() && !in.eof()) {
            std::fprintf(stderr, "cannot read %s\n", p.c_str());
            return 2;
        }
        // The libFuzzer binary hands over a copy of exactly the input's size,
        // so reads past its end show under AddressSanitizer here too.
        const std::vector<uint8_t> data(bytes.begin(), bytes.end());
        // Named first: when the target stops the program, the last name
        // shown is the input that did it.
        std::fprintf(stderr, "%s\n", p.c_str());
        LLVMFuzzerTestOneInput(data.data(), data.size());
    }
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    std::printf("replayed %zu inputs in %lld ms\n", inputs.size(), static_cast<long long>(ms.count()));
    return 0;
}
