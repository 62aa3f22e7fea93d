// Makes the benchmark's folder shapes on disk: empty files named as real users' folders name them.
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

namespace {

void touch(const std::string& path, size_t bytes = 0) {
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        static const std::string block(4096, 'x');
        for (size_t left = bytes; left > 0; left -= std::min(left, block.size()))
            std::fwrite(block.data(), 1, std::min(left, block.size()), f);
        std::fclose(f);
    }
}

// A file of `bytes` that takes no room on disk.
void sparse(const std::string& path, long long bytes) {
    touch(path);
    if (truncate(path.c_str(), bytes) != 0) std::perror(path.c_str());
}

std::string padded(long n, int width) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%0*ld", width, n);
    return buf;
}

}  // namespace

// make_folders ROOT COUNT: ROOT/frames, ROOT/unpadded, ROOT/interleaved, ROOT/uuid, ROOT/random,
// ROOT/browse: 10,000 small folders of a few frames each, listed one after another, and ROOT/copy:
// folders of 2,500 to 20,000 files of 1 KiB (singles_N: one entry each; runs_N: runs of four),
// one run of 10,000 (run_10000) and a run of four 512 MiB members (run_2g, sparse).
// With a third argument "shapes", only the five shapes.
int main(int argc, char** argv) {
    if (argc < 3 || argc > 4 || (argc == 4 && std::string(argv[3]) != "shapes")) {
        std::fprintf(stderr, "usage: make_folders ROOT COUNT [shapes]\n");
        return 2;
    }
    std::string root = argv[1];
    long count = std::atol(argv[2]);
    std::mt19937_64 rng(42);
    const char* shapes[] = {"frames", "unpadded", "interleaved", "uuid", "random"};
    mkdir(root.c_str(), 0755);
    for (const char* s : shapes) mkdir((root + "/" + s).c_str(), 0755);

    for (long i = 0; i < count; ++i) {
        long run = i / (count / 20), frame = i % (count / 20) + 1;
        touch(root + "/frames/shot" + padded(run + 1, 2) + "_" + padded(frame, 4) + ".exr");
        touch(root + "/unpadded/shot_" + std::to_string(i + 1) + ".exr");
    }
    const char* formats[] = {".dpx", ".exr", ".jpg", ".png", ".tif"};
    for (long i = 0; i < count; ++i)
        touch(root + "/interleaved/plate_" + padded(i / 5 + 1, 5) + formats[i % 5]);
    const char* hex = "0123456789abcdef";
    for (long i = 0; i < count; ++i) {
        std::string name;
        for (int k = 0; k < 32; ++k) {
            if (k == 8 || k == 12 || k == 16 || k == 20) name += '-';
            name += hex[rng() % 16];
        }
        touch(root + "/uuid/" + name + ".bin");
    }
    const char* letters = "abcdefghijklmnopqrstuvwxyz0123456789_";
    for (long i = 0; i < count; ++i) {
        std::string name;
        int len = 3 + static_cast<int>(rng() % 20);
        for (int k = 0; k < len; ++k) name += letters[rng() % 37];
        touch(root + "/random/" + name + "_" + std::to_string(i) + ".dat");
    }
    if (argc == 4) return 0;
    mkdir((root + "/copy").c_str(), 0755);
    for (long n : {2500L, 5000L, 10000L, 20000L}) {
        const std::string singles = root + "/copy/singles_" + std::to_string(n);
        const std::string runs = root + "/copy/runs_" + std::to_string(n);
        mkdir(singles.c_str(), 0755);
        mkdir(runs.c_str(), 0755);
        for (long i = 0; i < n; ++i) {
            std::string name;
            for (int k = 0; k < 12; ++k) name += hex[rng() % 16];
            touch(singles + "/f" + name + ".dat", 1024);
            touch(runs + "/take" + padded(i / 4, 5) + "_" + padded(i % 4 + 1, 2) + ".wav", 1024);
        }
    }
    mkdir((root + "/copy/run_10000").c_str(), 0755);
    for (long i = 1; i <= 10000; ++i) touch(root + "/copy/run_10000/frame_" + padded(i, 5) + ".exr", 1024);
    mkdir((root + "/copy/run_2g").c_str(), 0755);
    for (long i = 1; i <= 4; ++i) sparse(root + "/copy/run_2g/plate_" + padded(i, 2) + ".dpx", 512LL << 20);
    mkdir((root + "/browse").c_str(), 0755);
    for (long i = 0; i < 10000; ++i) {
        std::string folder = root + "/browse/take" + padded(i, 5);
        mkdir(folder.c_str(), 0755);
        for (int f = 1; f <= 3; ++f) touch(folder + "/frame_" + padded(f, 3) + ".png");
        touch(folder + "/notes.txt");
    }
    return 0;
}
