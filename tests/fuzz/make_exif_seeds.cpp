// Seeds for the EXIF fuzzer: the start of every shared camera picture (its EXIF block lies in
// the first 64 KB) and of the one scene in eight orientations, written into the folder given.
#include <filesystem>
#include <fstream>
#include <iostream>
#include <vector>

namespace fs = std::filesystem;

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: make_exif_seeds FOLDER\n";
        return 2;
    }
    const fs::path out = argv[1];
    fs::create_directories(out);
    int written = 0;
    for (const char* folder : {"camera", "exif"}) {
        const fs::path source = fs::path(TAZU_TESTDATA) / folder;
        if (!fs::is_directory(source))
            continue;
        for (const auto& entry : fs::directory_iterator(source)) {
            if (entry.path().extension() != ".jpg")
                continue;
            std::ifstream in(entry.path(), std::ios::binary);
            std::vector<char> start(64 * 1024);
            in.read(start.data(), std::streamsize(start.size()));
            start.resize(size_t(in.gcount()));
            std::ofstream(out / entry.path().filename(), std::ios::binary)
                .write(start.data(), std::streamsize(start.size()));
            ++written;
        }
    }
    if (written == 0) {
        std::cerr << "make_exif_seeds: no shared pictures under " << TAZU_TESTDATA << "\n";
        return 1;
    }
    return 0;
}
