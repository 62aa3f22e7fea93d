// Copies in the background: the real DLL's FsGetFile on worker threads while the host goes on browsing the plugin.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "e2e/e2e.h"

using namespace e2e;

namespace {

const FILETIME shot = utc(2006, 9, 19, 9, 34, 18);

std::string bytes_of(const std::string& name, size_t n) {
    std::string s;
    while (s.size() < n) s += name + " ";
    return s.substr(0, n);
}

// Runs body on a worker thread while this thread lists browse again and again; how often it did.
template <typename Body>
size_t on_a_worker_while_browsing(const std::string& browse, Body body) {
    std::atomic<bool> done{false};
    std::thread worker([&] {
        body();
        done = true;
    });
    size_t listings = 0;
    while (!done) {
        the_plugin().names(browse);
        ++listings;
    }
    worker.join();
    return listings;
}

}  // namespace

TEST(background_e2e, two_copies_on_worker_threads_arrive_whole_while_the_main_thread_browses_and_asks) {
    temp_folder shoot, scans, other, out_a, out_b;
    for (int i = 1; i <= 8; ++i) write_file(shoot.path + "IMG_000" + std::to_string(i) + ".JPG", bytes_of("IMG" + std::to_string(i), 300000), shot);
    for (int i = 1; i <= 5; ++i) write_file(scans.path + "scan_0" + std::to_string(i) + ".png", bytes_of("scan" + std::to_string(i), 200000), shot);
    for (int i = 1; i <= 30; ++i) write_file(other.path + "f_" + std::to_string(100 + i) + ".tif", "f", shot);
    write_file(out_a.path + "IMG_0003.JPG", "old", shot);  // asked about from the worker thread
    const auto before = snapshot(shoot.path), scans_before = snapshot(scans.path), other_before = snapshot(other.path);
    DWORD status = 1;
    const std::string text = run_host("--background --answer overwrite --while \"" + plugin_path(other.path) + "\" \"" +
                                          plugin_file + "\" get \"" + plugin_path(shoot.path) + "\\IMG_0001-0008.JPG\" \"" +
                                          out_a.path + "IMG_0001-0008.JPG\" \"" + plugin_path(scans.path) +
                                          "\\scan_01-05.png\" \"" + out_b.path + "scan_01-05.png\"",
                                      &status);
    EXPECT_EQ(status, 0u) << text << " (the harness copies in the background only when FsGetBackgroundFlags allows it)";
    EXPECT_NE(text.find("prompt (answer overwrite):\nOverwrite: IMG_0003.JPG"), std::string::npos) << text;
    EXPECT_NE(text.find("IMG_0001-0008.JPG: 0 FS_FILE_OK"), std::string::npos) << text;
    EXPECT_NE(text.find("scan_01-05.png: 0 FS_FILE_OK"), std::string::npos) << text;
    EXPECT_NE(text.find("times, every listing alike"), std::string::npos) << text;
    EXPECT_EQ(text.find("listed 0 times"), std::string::npos) << "the main thread browsed while copies ran: " << text;
    for (int i = 1; i <= 8; ++i) {
        const std::string name = "IMG_000" + std::to_string(i) + ".JPG";
        EXPECT_EQ(read_file(out_a.path + name), read_file(shoot.path + name)) << name;
    }
    for (int i = 1; i <= 5; ++i) {
        const std::string name = "scan_0" + std::to_string(i) + ".png";
        EXPECT_EQ(read_file(out_b.path + name), read_file(scans.path + name)) << name;
    }
    EXPECT_EQ(snapshot(shoot.path), before);
    EXPECT_EQ(snapshot(scans.path), scans_before);
    EXPECT_EQ(snapshot(other.path), other_before);
}

TEST(background_e2e, a_list_file_a_cancel_and_a_vanished_member_behave_as_in_the_foreground) {
    temp_folder src, browse, fore, back;
    for (int i = 1; i <= 4; ++i) write_file(src.path + "take_0" + std::to_string(i) + ".wav", bytes_of("take", 1000 * i), shot);
    for (int i = 1; i <= 3; ++i) write_file(browse.path + "b_0" + std::to_string(i) + ".txt", "b", shot);
    const std::string remote = plugin_path(src.path) + "\\take_01-04.wav";
    struct outcome {
        int result;
        std::string list_file;
        bool copied_any;
    };
    // One case run on this thread or on a worker while this one browses.
    auto run = [&](const temp_folder& out, bool background, const char* name, auto setup) {
        outcome got{};
        auto body = [&] {
            setup();
            got.result = the_plugin().get(remote, out.path + name);
            hold_ctrl(false);
            the_plugin().abort_from = 101;
        };
        if (background) {
            EXPECT_GT(on_a_worker_while_browsing(plugin_path(browse.path), body), 0u) << name;
        } else {
            body();
        }
        got.list_file = read_file(out.path + name + ".lst");
        got.copied_any = exists(out.path + "take_01.wav");
        return got;
    };
    for (bool background : {false, true}) {
        const temp_folder& out = background ? back : fore;
        const outcome listed = run(out, background, "take_01-04.wav", [] { hold_ctrl(true); });
        EXPECT_EQ(listed.result, 0) << background;
        EXPECT_NE(listed.list_file.find("take_04.wav\t4000\t"), std::string::npos) << listed.list_file;
        EXPECT_FALSE(listed.copied_any) << "Ctrl held: nothing copied";
        const outcome cancelled = run(out, background, "cancelled.wav", [] { the_plugin().abort_from = 0; });
        EXPECT_EQ(cancelled.result, 5) << background;
        EXPECT_FALSE(cancelled.copied_any) << background;
    }
    EXPECT_EQ(read_file(back.path + "take_01-04.wav.lst"), read_file(fore.path + "take_01-04.wav.lst"))
        << "the same list file in the background";
    // A member that vanished after the listing: the copy fails the same way on either thread.
    the_plugin().names(plugin_path(src.path));
    ASSERT_TRUE(DeleteFileA((src.path + "take_03.wav").c_str()));
    const int in_front = the_plugin().get(remote, fore.path + "gone.wav");
    int behind = -1;
    on_a_worker_while_browsing(plugin_path(browse.path), [&] { behind = the_plugin().get(remote, back.path + "gone.wav"); });
    EXPECT_EQ(in_front, 2) << "FS_FILE_NOTFOUND";
    EXPECT_EQ(behind, in_front);
    EXPECT_EQ(read_file(back.path + "take_02.wav"), read_file(fore.path + "take_02.wav")) << "the members before it arrive";
}
