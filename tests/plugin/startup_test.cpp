// The host's settings calls and the DLL entry's bookkeeping.
#include "plugin/context.h"
#include "plugin/startup.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/paths.h"

using namespace tallyrun;

namespace {

// The plugin's settings, as the entry points keep them.
plugin_state& plugin = context().settings;
struct default_params {
    int32_t size;
    uint32_t version_low;
    uint32_t version_high;
    char ini_name[260];
};

default_params params_for(const char* ini) {
    default_params p{};
    p.size = sizeof p;
    p.version_high = 2;
    std::strcpy(p.ini_name, ini);
    return p;
}
int32_t TR_WINAPI quiet_progress(int32_t, const char*, const char*, int32_t) { return 0; }
int32_t TR_WINAPI quiet_progress_w(int32_t, const char16_t*, const char16_t*, int32_t) { return 0; }
}  // namespace

TEST(startup, root_name_respects_every_buffer_size) {
    start_up();
    struct {
        int32_t size;
        const char* want;
    } cases[] = {{1, ""}, {5, "Tall"}, {9, "Tallyrun"}, {260, "Tallyrun"}};
    for (const auto& c : cases) {
        char buffer[300];
        std::memset(buffer, '#', sizeof buffer);
        char* name = buffer + 8;
        EXPECT_EQ(FsGetDefRootName(name, c.size), 0);
        EXPECT_STREQ(name, c.want) << "buffer size " << c.size;
        size_t used = std::strlen(c.want) + 1;
        for (size_t i = 0; i < sizeof buffer; ++i)
            if (i < 8 || i >= 8 + used) {
                ASSERT_EQ(buffer[i], '#') << "size " << c.size << " wrote byte " << i;
            }
    }
}

TEST(startup, default_params_give_the_ini_folder) {
    start_up();
    EXPECT_EQ(plugin.ini_folder, u"") << "empty until the host names one";
    default_params p = params_for("C:\\Tools\\plugins.ini");
    EXPECT_EQ(FsSetDefaultParams(&p), 0);
    EXPECT_EQ(plugin.ini_folder, u"C:\\Tools\\");
    p = params_for("D:\\other\\wc\\x.ini");
    FsSetDefaultParams(&p);
    EXPECT_EQ(plugin.ini_folder, u"D:\\other\\wc\\") << "a second call replaces the first";
    p = params_for("plain.ini");
    FsSetDefaultParams(&p);
    EXPECT_EQ(plugin.ini_folder, u"");
    p = params_for("C:\\Caf\xE9\\wc.ini");
    FsSetDefaultParams(&p);
    EXPECT_EQ(plugin.ini_folder, u"C:\\Caf\u00e9\\") << "the host's 8-bit name, in UTF-16";
}

TEST(startup, unterminated_ini_name_is_read_no_further_than_its_field) {
    start_up();
    unsigned char raw[12 + 260 + 1];
    std::memset(raw, 'a', sizeof raw);
    raw[12 + 100] = '\\';
    raw[sizeof raw - 1] = 0;  // the only zero lies beyond the field
    FsSetDefaultParams(raw);
    EXPECT_EQ(plugin.ini_folder.size(), 101u);
}

TEST(startup, fs_init_keeps_number_and_progress) {
    start_up();
    EXPECT_EQ(plugin.plugin_number, 0);
    EXPECT_EQ(plugin.progress, nullptr);
    progress_proc proc = quiet_progress;
    EXPECT_EQ(FsInit(7, proc), 0);
    EXPECT_EQ(plugin.plugin_number, 7);
    EXPECT_EQ(plugin.progress, proc);
    EXPECT_EQ(FsInit(8, nullptr), 0);
    EXPECT_EQ(plugin.plugin_number, 8);
    // The host may call both forms: each keeps its own call-back.
    FsInit(9, proc);
    EXPECT_EQ(FsInitW(9, quiet_progress_w), 0);
    EXPECT_EQ(plugin.progress, proc);
    EXPECT_EQ(plugin.progress_w, &quiet_progress_w);
    EXPECT_EQ(plugin.plugin_number, 9);
}

TEST(startup, ini_is_looked_for_in_the_host_folder_then_beside_the_plugin) {
    start_up();
    default_params p = params_for("D:\\tc\\wincmd.ini");
    FsSetDefaultParams(&p);
    const ini_place where = ini_place_of(context().settings);
    EXPECT_EQ(where.name, u"tallyrun.ini");
    ASSERT_EQ(where.folders.size(), 2u);
    EXPECT_EQ(where.folders[0], u"D:\\tc\\");
    const std::u16string module = module_filename();  // C:\plugins\tallyrun\tallyrun.wfx natively
    ASSERT_FALSE(module.empty());
    EXPECT_EQ(where.folders[1], module.substr(0, module.rfind(u'\\') + 1)) << "the plugin's own folder";
}

TEST(startup, dll_main_keeps_the_instance_and_starts_only_on_attach) {
    int a = 0, b = 0;
    EXPECT_EQ(dll_main(&a, 1), 1);
    default_params p = params_for("C:\\kept\\x.ini");
    FsSetDefaultParams(&p);
    for (uint32_t reason : {0u, 2u, 3u}) {
        EXPECT_EQ(dll_main(&b, reason), 1) << "reason " << reason;
        EXPECT_EQ(dll_instance(), &b);
        EXPECT_EQ(plugin.ini_folder, u"C:\\kept\\") << "reason " << reason << " started again";
    }
    EXPECT_EQ(dll_main(&a, 1), 1);
    EXPECT_EQ(dll_instance(), &a);
    EXPECT_EQ(plugin.ini_folder, u"");
    EXPECT_EQ(context().settings.root_name, "Tallyrun");
    EXPECT_EQ(plugin.ini_name, u"tallyrun.ini");
    set_dll_instance(nullptr);
}
