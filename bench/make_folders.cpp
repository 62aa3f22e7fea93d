// Makes the benchmark's folder shapes on disk: empty files named as real users' folders name them.
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <sys/stat.h>

namespace {

void touch(const std::string& path) {
    if (FILE* f = std::fopen(path.c_str(), "wb")) std::fclose(f);
}

std::string padded(long n, int width) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%0*ld", width, n);
    return buf;
}

}  // namespace

// make_folders ROOT COUNT: ROOT/frames, ROOT/unpadded, ROOT/interleaved, ROOT/uuid, ROOT/random,
// and ROOT/browse: 10,000 small folders of a few frames each, listed one after another.
int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_folders ROOT COUNT\n");
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
    for (long i = 0; i < count / 5; ++i) {
        std::string name;
        int len = 3 + static_cast<int>(rng() % 20);
        for (int k = 0; k < len; ++k) name += letters[rng() % 37];
        touch(root + "/random/" + name + "_" + std::to_string(i) + ".dat");
    }
    mkdir((root + "/browse").c_str(), 0755);
    for (long i = 0; i < 10000; ++i) {
        std::string folder = root + "/browse/take" + padded(i, 5);
        mkdir(folder.c_str(), 0755);
        for (int f = 1; f <= 3; ++f) touch(folder + "/frame_" + padded(f, 3) + ".png");
        touch(folder + "/notes.txt");
    }
    return 0;
}
