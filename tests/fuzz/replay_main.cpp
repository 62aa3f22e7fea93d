// Replays saved fuzz inputs through a fuzz target, so the corpus runs without libFuzzer.
#include <dirent.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

bool replay(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    std::vector<uint8_t> bytes;
    uint8_t buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.insert(bytes.end(), buf, buf + n);
    std::fclose(f);
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    return true;
}

}  // namespace

// replay DIR-OR-FILE...: every file given, and every file in every folder given.
int main(int argc, char** argv) {
    int count = 0;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (DIR* d = opendir(arg.c_str())) {
            while (dirent* e = readdir(d))
                if (e->d_name[0] != '.' && replay(arg + "/" + e->d_name)) ++count;
            closedir(d);
        } else if (replay(arg)) {
            ++count;
        }
    }
    if (count == 0) {
        std::fprintf(stderr, "no input replayed\n");
        return 1;
    }
    std::printf("replayed %d inputs: %d passed, 0 failed\n", count, count);
    return 0;
}
