// Real temporary folders and files for the Linux tests, and running a check as an ordinary user.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

namespace tallyrun::testing {

// A fresh folder under /tmp, removed with everything in it at the end of the scope.
struct temp_folder {
    std::string path;
    temp_folder() {
        char pattern[] = "/tmp/tallyrun-test.XXXXXX";
        path = mkdtemp(pattern);
    }
    ~temp_folder() {
        std::error_code ignored;
        // Folders a test made read-only must be writable again to be emptied.
        for (auto& e : std::filesystem::recursive_directory_iterator(path, ignored))
            if (e.is_directory(ignored)) std::filesystem::permissions(e.path(), std::filesystem::perms::owner_all,
                                                                       std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(path, ignored);
    }
    temp_folder(const temp_folder&) = delete;
    temp_folder& operator=(const temp_folder&) = delete;
    std::string operator/(const std::string& name) const { return path + "/" + name; }
};

inline void write_bytes(const std::string& path, const std::string& bytes) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string read_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

inline bool exists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

// Root may read and write whatever it likes, so permission checks run as
// "nobody" in a child process when the tests run as root. The check answers
// "" when it passed, else what went wrong; its folders must be open to all.
inline std::string as_ordinary_user(const std::function<std::string()>& check) {
    if (geteuid() != 0) return check();
    int pipe_ends[2];
    if (pipe(pipe_ends) != 0) return "no pipe";
    const pid_t child = fork();
    if (child == 0) {
        close(pipe_ends[0]);
        std::string answer = setgid(65534) == 0 && setuid(65534) == 0 ? check() : "could not become nobody";
        (void)!write(pipe_ends[1], answer.data(), answer.size());
        _exit(0);
    }
    close(pipe_ends[1]);
    std::string answer;
    char buffer[512];
    for (ssize_t n; (n = read(pipe_ends[0], buffer, sizeof buffer)) > 0;) answer.append(buffer, static_cast<size_t>(n));
    close(pipe_ends[0]);
    int status = 0;
    waitpid(child, &status, 0);
    return answer;
}

}  // namespace tallyrun::testing
