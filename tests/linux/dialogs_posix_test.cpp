// The overwrite prompt and message boxes of the Linux build, shown through a scripted stand-in for the host's dialog API.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "dialog/confirm.h"
#include "dialog/dialogs_posix.h"
#include "support/bindings.h"
#include "support/host_calls.h"
#include "tests/linux/scripted_host.h"

namespace tallyrun {
namespace {

// ---- reading the form back, as the host's form reader would

struct lfm_object {
    std::string name, type;
    std::map<std::string, std::string> properties;  // string values decoded to UTF-8
};

// An LFM value: quoted parts and #n bytes joined; anything else as written.
std::string lfm_value(const std::string& v) {
    if (v.empty() || (v[0] != '\'' && v[0] != '#')) return v;
    std::string out;
    for (size_t i = 0; i < v.size();) {
        if (v[i] == '#') {
            size_t end = i + 1;
            while (end < v.size() && isdigit(static_cast<unsigned char>(v[end]))) ++end;
            out += static_cast<char>(std::stoi(v.substr(i + 1, end - i - 1)));
            i = end;
        } else if (v[i] == '\'') {
            for (++i; i < v.size(); ++i) {
                if (v[i] == '\'' && i + 1 < v.size() && v[i + 1] == '\'') {
                    out += '\'';
                    ++i;
                } else if (v[i] == '\'') {
                    ++i;
                    break;
                } else {
                    out += v[i];
                }
            }
        } else {
            ADD_FAILURE() << "stray text in an LFM value: " << v;
            break;
        }
    }
    return out;
}

// The form and its controls in order; the form first.
std::vector<lfm_object> read_lfm(const std::string& text) {
    std::vector<lfm_object> objects;
    std::vector<size_t> open;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(at, end - at);
        at = end + 1;
        line.erase(0, line.find_first_not_of(' '));
        if (line.rfind("object ", 0) == 0) {
            const size_t colon = line.find(": ");
            objects.push_back({line.substr(7, colon - 7), line.substr(colon + 2), {}});
            open.push_back(objects.size() - 1);
        } else if (line == "end") {
            if (open.empty()) ADD_FAILURE() << "an 'end' too many";
            else open.pop_back();
        } else if (!line.empty()) {
            const size_t equals = line.find(" = ");
            if (equals == std::string::npos || open.empty()) {
                ADD_FAILURE() << "not a property line: " << line;
                continue;
            }
            objects[open.back()].properties[line.substr(0, equals)] = lfm_value(line.substr(equals + 3));
        }
    }
    EXPECT_TRUE(open.empty()) << "objects left open";
    return objects;
}

using testing::script;
using testing::scripted_form;

// The prompt these tests show.
confirm_prompt prompt;

struct with_host {
    host_forms forms;
    with_host() {
        script = testing::scripted_host{};
        forms.calls = testing::scripted_calls();
        bind_host_forms(&forms);
        confirm_dialog_setup(prompt);
    }
    ~with_host() { bind_host_forms(nullptr); }
};

member<char16_t> file(const std::u16string& name, uint64_t size) {
    static std::vector<std::u16string> names(64);
    static size_t next = 0;
    names[next % names.size()] = name;
    listed_file f{};
    f.attributes = 32;
    uint64_t ticks = 0;
    ticks_of(date_time{2006, 9, 19, 9, 34, 18}, &ticks);
    f.time = step_of_local(ticks);
    f.size_low = static_cast<uint32_t>(size);
    f.size_high = static_cast<uint32_t>(size >> 32);
    return member<char16_t>{names[next++ % names.size()], f};
}

intptr_t ask(const std::string& click) {
    script.clicks = {click};
    return show_overwrite_prompt<char16_t>(prompt, file(u"IMG_0001.JPG", 2401000), file(u"IMG_0001.JPG", 2400123));
}

TEST(posix_prompt, the_six_buttons_captions_and_message_of_the_windows_prompt) {
    with_host host;
    ask("Item1");
    ASSERT_EQ(script.forms.size(), 1u);
    const std::vector<lfm_object> form = read_lfm(script.forms[0]);
    ASSERT_EQ(form.size(), 9u) << script.forms[0];
    EXPECT_EQ(form[0].type, "TDialogBox");
    EXPECT_EQ(form[0].properties.at("Caption"), "Tallyrun");
    EXPECT_EQ(form[0].properties.at("BorderStyle"), "bsDialog");
    EXPECT_EQ(form[0].properties.at("OnShow"), "DialogBoxShow");
    EXPECT_EQ(form[0].properties.at("Position"), "poScreenCenter");
    const char* captions[] = {"&Overwrite", "Overwrite &all", "&Skip", "&Cancel", "Overwrite all ol&der", "S&kip all"};
    for (int k = 0; k < 6; ++k) {
        const lfm_object& b = form[1 + k];
        EXPECT_EQ(b.type, "TButton");
        EXPECT_EQ(b.properties.at("Caption"), captions[k]);
        EXPECT_EQ(b.properties.at("TabOrder"), std::to_string(k)) << "the tab order is the template's";
        EXPECT_EQ(b.properties.at("OnClick"), "ButtonClick");
        EXPECT_EQ(b.properties.count("Cancel"), 0u) << "no visible button takes Escape";
    }
    // Two rows of three, 90 x 15 dialog units each, as in the Windows template.
    EXPECT_EQ(form[1].properties.at("Width"), form[6].properties.at("Width"));
    EXPECT_EQ(form[1].properties.at("Top"), form[3].properties.at("Top"));
    EXPECT_EQ(form[4].properties.at("Left"), form[1].properties.at("Left"));
    EXPECT_LT(std::stoi(form[1].properties.at("Top")), std::stoi(form[4].properties.at("Top")));
    const lfm_object& label = form[7];
    EXPECT_EQ(label.type, "TLabel");
    EXPECT_EQ(label.properties.at("Caption"),
              "Overwrite: IMG_0001.JPG\n          2400123 Byte, 19.09.2006 09:34:18\n \n"
              "With file: IMG_0001.JPG ?\n          2401000 Byte, 19.09.2006 09:34:18")
        << "the message, its empty line kept by a space";
    EXPECT_EQ(label.properties.at("WordWrap"), "True");
    const lfm_object& escape = form[8];
    EXPECT_EQ(escape.properties.at("Cancel"), "True") << "the hidden button that hears Escape";
    EXPECT_EQ(escape.properties.at("TabStop"), "False");
    EXPECT_LT(std::stoi(escape.properties.at("Left")), 0) << "out of sight";
}

TEST(posix_prompt, each_button_the_escape_key_and_the_close_box_answer_as_on_windows) {
    with_host host;
    const struct {
        const char* click;
        intptr_t answer;
        bool closed_by_plugin;
    } cases[] = {{"Item1", 3, true}, {"Item2", 4, true}, {"Item3", 5, true}, {"Item4", 6, true},
                 {"Item5", 7, true}, {"Item6", 8, true}, {"Escape", 0, true}, {"", 0, false}};
    for (const auto& c : cases) {
        script.sent.clear();
        EXPECT_EQ(ask(c.click), c.answer) << "clicked '" << c.click << "'";
        if (c.closed_by_plugin) {
            ASSERT_EQ(script.sent.size(), 1u) << c.click;
            EXPECT_EQ(script.sent[0].message, dm_close);
            EXPECT_EQ(script.sent[0].wparam, host_modal_ok);
            EXPECT_EQ(script.sent[0].item, "Escape") << "a name the form has";
        } else {
            EXPECT_TRUE(script.sent.empty()) << "a form the user closed is not closed again";
        }
    }
}

TEST(posix_prompt, names_beyond_ascii_reach_the_form_as_utf8_and_an_escaped_byte_as_a_replacement) {
    with_host host;
    script.clicks = {"Item3"};
    show_overwrite_prompt<char16_t>(prompt, file(u"Bild \u00E4\U0001F4F7_01.png", 1), file(u"Bild \u00E4\U0001F4F7_01.png", 2));
    script.clicks = {"Item3"};
    show_overwrite_prompt<char16_t>(prompt, file(u"bad\xDCFF_01.png", 1), file(u"bad\xDCFF_01.png", 2));
    ASSERT_EQ(script.forms.size(), 2u);
    const std::string first = read_lfm(script.forms[0])[7].properties.at("Caption");
    EXPECT_EQ(first.substr(0, first.find('\n')), "Overwrite: Bild \xC3\xA4\xF0\x9F\x93\xB7_01.png");
    const std::string second = read_lfm(script.forms[1])[7].properties.at("Caption");
    EXPECT_EQ(second.substr(0, second.find('\n')), "Overwrite: bad\xEF\xBF\xBD_01.png");
    for (const std::string& f : script.forms)
        for (unsigned char c : f) ASSERT_TRUE(c == '\n' || (c >= 0x20 && c < 0x7F)) << "the form text is plain ASCII";
}

TEST(posix_prompt, a_form_the_host_does_not_show_or_cannot_get_answers_no_button) {
    {
        with_host host;
        script.shows = false;
        EXPECT_EQ(ask("Item1"), -1);
        EXPECT_TRUE(script.sent.empty());
    }
    const size_t shown = script.forms.size();
    EXPECT_EQ(ask("Item1"), -1) << "without the host's dialog calls";
    EXPECT_EQ(script.forms.size(), shown);
}

TEST(posix_prompt, end_dialog_refuses_a_window_that_is_no_form_on_screen) {
    EXPECT_EQ(win.EndDialog(reinterpret_cast<win_handle>(scripted_form), 3), 0);
    EXPECT_EQ(win.GetLastError(), 1400u);
}

TEST(posix_messages, message_boxes_reach_the_host_in_utf8_with_their_flags) {
    with_host host;
    win.MessageBoxW(nullptr, u"Error in file '/home/\u00E4/tallyrun.ini' :\nNo section found.", u"Tallyrun", 48);
    win.MessageBoxW(nullptr, u"stray \xD800", u"Tallyrun", 0);
    win.MessageBoxA(nullptr, "plain", "Tallyrun", 16);
    EXPECT_EQ(script.boxes, (std::vector<std::string>{
                                "Tallyrun|Error in file '/home/\xC3\xA4/tallyrun.ini' :\nNo section found.|48",
                                "Tallyrun|stray \xEF\xBF\xBD|0", "Tallyrun|plain|16"}));
}

}  // namespace
}  // namespace tallyrun
