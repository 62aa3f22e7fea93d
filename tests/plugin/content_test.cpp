// The panel's custom columns on the fake disk: members, first and last numbers, the numbers missing.
#include "plugin/context.h"
#include "plugin/content.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "fakes/fake_fs.h"
#include "plugin/enumeration.h"
#include "plugin/startup.h"

using namespace tallyrun;

namespace {

// The plugin's settings, as the entry points keep them.
plugin_state& plugin = context().settings;

struct field_value {
    int32_t type;
    std::string text;
    int32_t number;
};

field_value value_of(const std::string& remote, int32_t field, int32_t max_length = 256) {
    char buffer[300];
    std::memset(buffer, '#', sizeof buffer);
    field_value v{FsContentGetValue(remote.c_str(), field, 0, buffer, max_length, 0), "", 0};
    if (v.type == ft_string) v.text = buffer;
    if (v.type == ft_numeric_32) std::memcpy(&v.number, buffer, 4);
    return v;
}

struct content : testing::Test {
    void SetUp() override {
        reset_listings(context().tables);
        plugin.ini_folder = u"C:\\nowhere\\";
        // shotA_0006 is missing, and 0011 and 0012 after the second run.
        for (int i : {1, 2, 3, 4, 5, 7, 8, 9, 10, 13})
            disk.add_file("C:\\shots\\shotA_" + std::string(4 - std::to_string(i).size(), '0') + std::to_string(i) + ".exr", 1);
        disk.add_file("C:\\shots\\SHOTA_0020.EXR", 1);  // the same pattern in other case
        disk.add_file("C:\\shots\\shotA_0099.jpg", 1);  // another extension: not the same pattern
        disk.add_file("C:\\shots\\take_1.wav", 1);
        disk.add_file("C:\\shots\\take_2.wav", 1);
        disk.add_file("C:\\shots\\notes.txt", 1);
        disk.add_folder("C:\\shots\\sub");
    }
    void TearDown() override { reset_listings(context().tables); }
    fake_fs disk;
};

}  // namespace

TEST(content_fields, names_types_and_the_end_of_the_list) {
    const char* names[] = {"Members", "First", "Last", "Missing"};
    const int32_t types[] = {ft_numeric_32, ft_string, ft_string, ft_string};
    for (int32_t i = 0; i < 4; ++i) {
        char name[64] = "#", units[64] = "#";
        EXPECT_EQ(FsContentGetSupportedField(i, name, units, 64), types[i]) << names[i];
        EXPECT_STREQ(name, names[i]);
        EXPECT_STREQ(units, "");
        EXPECT_EQ(FsContentGetSupportedFieldFlags(i), 0);
    }
    char name[8] = "#######";
    EXPECT_EQ(FsContentGetSupportedField(4, name, name, 8), ft_nomorefields);
    EXPECT_STREQ(name, "#######") << "nothing written after the last field";
    EXPECT_EQ(FsContentGetSupportedField(1, name, name, 4), ft_string);
    EXPECT_STREQ(name, "") << "units are written last, the name cut to 3";
}

TEST_F(content, members_first_last_and_the_gap_of_each_entry) {
    struct row {
        const char* entry;
        int32_t members;
        const char *first, *last, *missing;
    };
    const row rows[] = {
        {"shotA_0001-0005.exr", 5, "0001", "0005", "0006"},
        {"shotA_0007-0010.exr", 4, "0007", "0010", "0011-0012"},
        {"take_1-2.wav", 2, "1", "2", nullptr},
        {"notes.txt", 1, nullptr, nullptr, nullptr},
        {"SHOTA_0020.EXR", 1, nullptr, nullptr, nullptr},
    };
    for (const row& r : rows) {
        const std::string remote = std::string("\\C:\\shots\\") + r.entry;
        SCOPED_TRACE(r.entry);
        field_value members = value_of(remote, field_members);
        EXPECT_EQ(members.type, ft_numeric_32);
        EXPECT_EQ(members.number, r.members);
        const char* expected[] = {r.first, r.last, r.missing};
        for (int32_t field = field_first; field <= field_missing; ++field) {
            field_value v = value_of(remote, field);
            if (expected[field - 1]) {
                EXPECT_EQ(v.type, ft_string) << "field " << field;
                EXPECT_EQ(v.text, expected[field - 1]) << "field " << field;
            } else {
                EXPECT_EQ(v.type, ft_fieldempty) << "field " << field;
            }
        }
    }
    // shotA_0013 is alone: the run before it ends at 0010.
    EXPECT_EQ(value_of("\\C:\\shots\\shotA_0013.exr", field_members).number, 1);
}

TEST_F(content, folders_unknown_entries_and_fields) {
    EXPECT_EQ(value_of("\\C:\\shots\\sub", field_members).type, ft_fieldempty);
    EXPECT_EQ(value_of("\\C:\\shots\\sub", field_missing).type, ft_fieldempty);
    EXPECT_EQ(value_of("\\C:", field_members).type, ft_fieldempty) << "a drive of the root is a folder";
    EXPECT_EQ(value_of("\\C:\\", field_first).type, ft_fieldempty);
    EXPECT_EQ(value_of("\\nowhere", field_members).type, ft_fileerror);
    EXPECT_EQ(value_of("\\C:\\shots\\none.exr", field_members).type, ft_fileerror);
    EXPECT_EQ(value_of("\\C:\\gone\\a.txt", field_first).type, ft_fileerror);
    EXPECT_EQ(value_of("\\C:\\shots\\notes.txt", 4).type, ft_nosuchfield);
    EXPECT_EQ(value_of("\\C:\\shots\\notes.txt", -1).type, ft_nosuchfield);
    field_value cut = value_of("\\C:\\shots\\shotA_0007-0010.exr", field_missing, 5);
    EXPECT_EQ(cut.text, "0011") << "a string is cut to the host's buffer";
}

TEST_F(content, values_come_from_the_kept_listing_not_the_disk) {
    value_of("\\C:\\shots\\notes.txt", field_members);
    const size_t searches = disk.searches.size();
    for (int i = 0; i < 100; ++i) value_of("\\C:\\shots\\shotA_0001-0005.exr", i % 4);
    EXPECT_EQ(disk.searches.size(), searches) << "no folder was read again";
}

TEST_F(content, the_wide_form_reads_unicode_names) {
    disk.add_file(u"C:\\shots\\\u041a\u0430\u0434\u0440_01.png", 1);
    disk.add_file(u"C:\\shots\\\u043a\u0430\u0434\u0440_02.png", 1);
    disk.add_file(u"C:\\shots\\\u041a\u0410\u0414\u0420_05.png", 1);
    char buffer[64];
    EXPECT_EQ(FsContentGetValueW(u"\\C:\\shots\\\u043a\u0430\u0434\u0440_01-02.png", field_missing, 0, buffer, 64, 0),
              ft_string);
    EXPECT_STREQ(buffer, "03-04") << "the next name of the pattern differs only in case";
}

TEST(content_view, the_default_view_names_size_date_members_and_missing) {
    char contents[256], headers[256], widths[256], options[256];
    EXPECT_EQ(FsContentGetDefaultView(contents, headers, widths, options, 256), 1);
    EXPECT_STREQ(contents, "[=tc.size]\\n[=tc.writedate]\\n[=<fs>.Members]\\n[=<fs>.Missing]");
    EXPECT_STREQ(headers, "Size\\nDate\\nMembers\\nMissing");
    EXPECT_STREQ(widths, "148,23,-70,80,-55,90") << "the name and extension first, then one per field";
    char small[8];
    FsContentGetDefaultView(small, small, small, small, 8);
    EXPECT_EQ(std::strlen(small), 4u) << "cut to the host's buffer";
}
