// The run finder against the member walk done literally: worked listings, folder shapes and random folders.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "config/text.h"
#include "sequence/run_finder.h"
#include "sequence/case_map.h"

using namespace tallyrun;

namespace {

// One entry of the walk, spelled out.
struct found_run {
    std::vector<size_t> members;
    size_t field_start = 0, field_end = 0;
};

// find_runs on names held in a vector.
template <typename C>
std::vector<found_run> runs_found(const std::vector<std::basic_string<C>>& names, seq_range range) {
    std::basic_string<C> buffer;
    name_refs<C> refs;
    for (const auto& n : names) {
        refs.add(0, buffer.size(), n.size());
        buffer += n;
    }
    refs.buffers[0] = buffer.data();
    found_runs found = find_runs(refs, range);
    std::vector<found_run> out;
    for (const run_span& e : found.entries) {
        found_run r;
        for (uint32_t k = 0; k < e.count; ++k) r.members.push_back(found.members[e.first + k]);
        if (e.count > 1) {
            r.field_start = e.field_start;
            r.field_end = e.field_end;
        }
        out.push_back(r);
    }
    return out;
}

// The walk one candidate at a time: every later name, taken ones passed over,
// names of other lengths asked too.
template <typename C>
std::vector<found_run> literal_walk(const std::vector<std::basic_string<C>>& names, seq_range range) {
    std::vector<found_run> out;
    std::vector<char> taken(names.size(), 0);
    for (size_t v = 0; v < names.size(); ++v) {
        if (taken[v]) continue;
        taken[v] = 1;
        found_run entry;
        entry.members.push_back(v);
        size_t h = names.size();
        number_field field;
        for (size_t i = v + 1; i < names.size(); ++i) {
            if (taken[i]) continue;
            seq_answer r = seq_def<C>(names[v], names[i], range, field);
            if (r == seq_answer::successor) h = i;
            if (r != seq_answer::skip) break;
        }
        if (h < names.size()) {
            entry.field_start = field.field_start;
            entry.field_end = field.field_end;
        }
        while (h < names.size()) {
            taken[h] = 1;
            entry.members.push_back(h);
            size_t l = h;
            h = names.size();
            for (size_t i = l + 1; i < names.size(); ++i) {
                if (taken[i]) continue;
                seq_answer r = seq_next<C>(names[l], names[i], field);
                if (r == seq_answer::successor) h = i;
                if (r != seq_answer::skip) break;
            }
        }
        out.push_back(entry);
    }
    return out;
}

// A name for a failure message (UTF-16 units below 256 as bytes, others as \uXXXX).
std::string printable(const std::string& s) { return s; }
std::string printable(const std::u16string& s) {
    std::string out;
    char buf[8];
    for (char16_t u : s) {
        if (u < 256) {
            out += static_cast<char>(u);
        } else {
            std::snprintf(buf, sizeof buf, "\\u%04X", static_cast<unsigned>(u));
            out += buf;
        }
    }
    return out;
}

// Raw names as the folder gives them -> lower-cased, in ascending upper-cased order.
std::vector<std::string> walk_order(std::vector<std::string> raw) {
    std::stable_sort(raw.begin(), raw.end(), [](const std::string& a, const std::string& b) {
        return win_upper(a) < win_upper(b);
    });
    for (std::string& s : raw) s = win_lower(s);
    return raw;
}
std::vector<std::u16string> walk_order_w(std::vector<std::u16string> raw) {
    auto mapped = [](std::u16string s, bool lower) {
        (lower ? win.CharLowerBuffW : win.CharUpperBuffW)(s.data(), static_cast<uint32_t>(s.size()));
        return s;
    };
    std::stable_sort(raw.begin(), raw.end(), [&](const std::u16string& a, const std::u16string& b) {
        return mapped(a, false) < mapped(b, false);
    });
    for (std::u16string& s : raw) s = mapped(s, true);
    return raw;
}

template <typename C>
std::string show(const std::vector<found_run>& runs, const std::vector<std::basic_string<C>>& names) {
    std::string text;
    for (const found_run& r : runs) {
        text += "[";
        for (size_t m : r.members) text += printable(names[m]) + " ";
        text += std::to_string(r.field_start) + ".." + std::to_string(r.field_end) + "] ";
    }
    return text;
}

bool same_runs(const std::vector<found_run>& a, const std::vector<found_run>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].members != b[i].members || a[i].field_start != b[i].field_start ||
            a[i].field_end != b[i].field_end)
            return false;
    return true;
}

// find_runs agrees with the literal walk; on a difference, both listings are shown.
template <typename C>
::testing::AssertionResult agrees(const std::vector<std::basic_string<C>>& names, seq_range range) {
    std::vector<found_run> expected = literal_walk(names, range);
    std::vector<found_run> got = runs_found(names, range);
    if (same_runs(got, expected)) return ::testing::AssertionSuccess();
    std::string list;
    for (const auto& s : names) list += printable(s) + " ";
    return ::testing::AssertionFailure()
           << "range (" << range.first << ", " << range.last << ")\nnames: " << list
           << "\ngot:      " << show(got, names) << "\nexpected: " << show(expected, names);
}

// Each entry as "first-name last-name start..end" or "name" for one file.
std::vector<std::string> entry_lines(const std::vector<std::string>& names, seq_range range = {1, 0}) {
    std::vector<std::string> lines;
    for (const found_run& r : runs_found(names, range)) {
        std::string line;
        for (size_t m : r.members) line += (line.empty() ? "" : " ") + names[m];
        if (r.members.size() > 1)
            line += " @" + std::to_string(r.field_start) + ".." + std::to_string(r.field_end);
        lines.push_back(line);
    }
    return lines;
}

using lines = std::vector<std::string>;

}  // namespace

TEST(run_finder, worked_listings) {
    EXPECT_EQ(entry_lines(walk_order({"IMG_0001.JPG", "IMG_0002.JPG", "IMG_0003.JPG", "notes.txt"})),
              (lines{"img_0001.jpg img_0002.jpg img_0003.jpg @5..8", "notes.txt"}));
    EXPECT_EQ(entry_lines(walk_order({"Scan01.png", "scan02.png", "scan03.png"})),
              (lines{"scan01.png scan02.png scan03.png @5..6"}));
    EXPECT_EQ(entry_lines(walk_order({"img01.jpg", "img01.png", "img02.jpg", "img02.png"})),
              (lines{"img01.jpg img02.jpg @4..5", "img01.png img02.png @4..5"}));
    EXPECT_EQ(entry_lines(walk_order({"a1.txt", "a10.txt", "a11.txt", "a2.txt"})),
              (lines{"a1.txt a2.txt @2..2", "a10.txt a11.txt @2..3"}));
    EXPECT_EQ(entry_lines(walk_order({"p01.bmp", "p02.bmp", "p04.bmp", "p05.bmp"})),
              (lines{"p01.bmp p02.bmp @2..3", "p04.bmp p05.bmp @2..3"}));
    EXPECT_EQ(entry_lines(walk_order({"frame98.tif", "frame99.tif", "frame100.tif"})),
              (lines{"frame100.tif", "frame98.tif frame99.tif @6..7"}));
    EXPECT_EQ(entry_lines(walk_order({"a01", "a02", "a03"})), (lines{"a01 a02 a03 @2..3"}));
}

TEST(run_finder, ranges_cut_the_field) {
    // The field may not begin before 7: take2 is text, the shot number counts.
    EXPECT_EQ(entry_lines(walk_order({"take1_shot1.wav", "take1_shot2.wav", "take2_shot1.wav"}), {7, 0}),
              (lines{"take1_shot1.wav take1_shot2.wav @11..11", "take2_shot1.wav"}));
    // Cut at 5, 0099 -> 0100 differs after the field: no run.
    EXPECT_EQ(entry_lines(walk_order({"img0099.jpg", "img0100.jpg"}), {1, 5}),
              (lines{"img0099.jpg", "img0100.jpg"}));
    EXPECT_TRUE(agrees(walk_order({"ab123.txt", "ab124.txt", "ab125.txt", "xb126.txt"}), {5, 0}));
}

TEST(run_finder, case_duplicates_and_long_fields) {
    std::vector<std::string> dup = walk_order({"a1.txt", "A1.TXT", "a2.txt", "A2.txt", "a3.txt"});
    EXPECT_TRUE(agrees(dup, {1, 0}));
    // 20 digits: neighbours read as the same double and skip each other.
    std::vector<std::string> big;
    for (int i = 0; i < 40; ++i) big.push_back("n123456789012345678" + std::to_string(10 + i) + ".x");
    EXPECT_TRUE(agrees(walk_order(big), {1, 0}));
    std::vector<std::string> mid;
    for (int i = 0; i < 40; ++i) mid.push_back("n90071992547409" + std::to_string(10 + i) + ".x");
    EXPECT_TRUE(agrees(walk_order(mid), {1, 0}));
}

TEST(run_finder, folder_shapes_small) {
    std::mt19937 rng(7);
    char buf[64];
    std::vector<std::string> frames, unpadded, interleaved, uuid, random, mixed;
    for (int run = 1; run <= 20; ++run)
        for (int f = 1; f <= 100; ++f) {
            std::snprintf(buf, sizeof buf, "shot%02d_%04d.exr", run, f);
            frames.push_back(buf);
        }
    for (int i = 1; i <= 3000; ++i) unpadded.push_back("shot_" + std::to_string(i) + ".exr");
    const char* formats[] = {".dpx", ".exr", ".jpg", ".png", ".tif"};
    for (int i = 0; i < 1500; ++i) {
        std::snprintf(buf, sizeof buf, "plate_%05d%s", i / 5 + 1, formats[i % 5]);
        interleaved.push_back(buf);
    }
    const char* hex = "0123456789abcdef";
    for (int i = 0; i < 3000; ++i) {
        std::string name;
        for (int k = 0; k < 32; ++k) {
            if (k == 8 || k == 12 || k == 16 || k == 20) name += '-';
            name += hex[rng() % 16];
        }
        uuid.push_back(name + ".bin");
        // Other names of the same length among them: no position is shared by all.
        if (i % 10 == 0) {
            std::snprintf(buf, sizeof buf, "_%02d_", i % 97);
            std::string other = name.substr(0, 20) + buf + name.substr(24);
            for (char& c : other)
                if (c == '-') c = 'g';
            mixed.push_back(other + ".bin");
        }
        mixed.push_back(name + ".bin");
    }
    const char* letters = "abcdefghijklmnopqrstuvwxyz0123456789_";
    for (int i = 0; i < 2000; ++i) {
        std::string name;
        int len = 3 + static_cast<int>(rng() % 20);
        for (int k = 0; k < len; ++k) name += letters[rng() % 37];
        random.push_back(name + "_" + std::to_string(i) + ".dat");
    }
    for (const std::vector<std::string>* shape : {&frames, &unpadded, &interleaved, &uuid, &random, &mixed}) {
        std::vector<std::string> names = walk_order(*shape);
        for (seq_range range : {seq_range{1, 0}, seq_range{3, 0}, seq_range{1, 9}})
            EXPECT_TRUE(agrees(names, range)) << "first name " << names[0];
    }
    std::vector<found_run> runs = runs_found(walk_order(frames), {1, 0});
    ASSERT_EQ(runs.size(), 20u);
    EXPECT_EQ(runs[0].members.size(), 100u);
    EXPECT_EQ(runs[0].field_start, 8u);
    EXPECT_EQ(runs[0].field_end, 11u);
}

namespace {

// A random name: pieces of text, case variants, other code page letters and
// numbers (near each other, padded or not, sometimes very long).
std::string random_name(std::mt19937& rng) {
    static const char* const pieces[] = {"a", "A", "b", "B", "ab", "p", "q", "r", ".", "_", "x.",
                                         ".t", "\xC0", "\xE0", "\xDF", "\xFF", "\x9F", "\xD7", "-"};
    std::string s;
    int parts = 1 + static_cast<int>(rng() % 4);
    for (int k = 0; k < parts; ++k) {
        switch (rng() % 5) {
            case 0:
            case 1: s += pieces[rng() % (sizeof pieces / sizeof *pieces)]; break;
            case 2: s += std::to_string(rng() % 12); break;
            case 3: {
                char buf[16];
                std::snprintf(buf, sizeof buf, "%0*u", 1 + static_cast<int>(rng() % 3),
                              static_cast<unsigned>(rng() % 15));
                s += buf;
                break;
            }
            default:
                if (rng() % 4 == 0)
                    s += "1234567890123456" + std::to_string(rng() % 4) + std::to_string(rng() % 10);
                else
                    s += std::to_string(90 + rng() % 20);
        }
    }
    return s.empty() ? "a" : s;
}

seq_range random_range(std::mt19937& rng) {
    static const int firsts[] = {1, 1, 1, 2, 3, 4, 6};
    int first = firsts[rng() % 7];
    switch (rng() % 6) {
        case 0: return {first, first};
        case 1: return {first, first + 1 + static_cast<int>(rng() % 5)};
        case 2: return {first, first > 1 ? first - 1 : 0};  // out of bounds: every field is empty
        default: return {first, 0};
    }
}

}  // namespace

TEST(run_finder, random_folders_agree_with_the_literal_walk) {
    std::mt19937 rng(2024);
    for (int folder = 0; folder < 6000; ++folder) {
        std::vector<std::string> raw;
        int count = 1 + static_cast<int>(rng() % 40);
        // A few bases repeated with nearby numbers, so that runs, gaps and stops all occur.
        std::vector<std::string> bases;
        for (int b = 0; b < 3; ++b) bases.push_back(random_name(rng));
        for (int i = 0; i < count; ++i) {
            if (rng() % 3 == 0) {
                raw.push_back(random_name(rng));
            } else {
                std::string s = bases[rng() % bases.size()];
                // Change one digit, or one byte of it, or its case.
                size_t p = rng() % s.size();
                switch (rng() % 4) {
                    case 0: s[p] = static_cast<char>('0' + rng() % 10); break;
                    case 1: s[p] = "aAbq9_."[rng() % 7]; break;
                    case 2: s = win_upper(s); break;
                    default: break;
                }
                raw.push_back(s);
            }
        }
        std::vector<std::string> names = walk_order(raw);
        seq_range range = random_range(rng);
        ASSERT_TRUE(agrees(names, range)) << "folder " << folder;
        // In any other order the answers stay the walk's.
        std::shuffle(names.begin(), names.end(), rng);
        ASSERT_TRUE(agrees(names, range)) << "folder " << folder << " shuffled";
    }
}

TEST(run_finder, many_skips_then_keyed_search) {
    // Long stretches of skips force the keyed look-ups; runs cross each other
    // and take names that later searches meet.
    std::mt19937 rng(99);
    for (int folder = 0; folder < 400; ++folder) {
        std::vector<std::string> raw;
        int formats = 1 + static_cast<int>(rng() % 80);
        int frames = 1 + static_cast<int>(rng() % 12);
        for (int f = 0; f < frames; ++f)
            for (int k = 0; k < formats; ++k) {
                if (rng() % 7 == 0) continue;  // gaps
                char buf[32];
                std::snprintf(buf, sizeof buf, "s%c_%d%02d.%c%c", "aB"[rng() % 2], static_cast<int>(rng() % 2),
                              f + (rng() % 9 == 0), "ab1"[k % 3], 'a' + k / 3 % 26);
                raw.push_back(buf);
            }
        static const seq_range ranges[] = {{1, 0}, {1, 6}, {2, 0}, {4, 0}, {5, 7}, {3, 5}};
        seq_range range = ranges[rng() % 6];
        std::vector<std::string> names = walk_order(raw);
        ASSERT_TRUE(agrees(names, range)) << "folder " << folder;
        // Out of order the stretches break: still the walk's answers.
        std::shuffle(names.begin(), names.end(), rng);
        ASSERT_TRUE(agrees(names, range)) << "folder " << folder << " shuffled";
    }
}

TEST(run_finder, marker_positions_with_exceptions) {
    // Nearly every name holds "." at 3; x1c does not, so x2. is asked (no
    // number there: it is passed over) before x2c follows x1c.
    std::vector<std::string> raw = {"x1c", "x2.", "x2c"};
    for (int i = 0; i < 30; ++i) raw.push_back(std::string(1, static_cast<char>('a' + i % 20)) +
                                               std::to_string(i % 10) + ".");
    std::vector<std::string> names = walk_order(raw);
    EXPECT_TRUE(agrees(names, {1, 0}));
    std::vector<found_run> runs = runs_found(names, {1, 0});
    for (const found_run& r : runs) {
        if (names[r.members[0]] == "x1c") {
            ASSERT_EQ(r.members.size(), 2u) << show(runs, names);
            EXPECT_EQ(names[r.members[1]], "x2c");
        }
    }

    // The same kind of folder at random: a marker byte in most names, other bytes in a few.
    std::mt19937 rng(5);
    for (int folder = 0; folder < 500; ++folder) {
        std::vector<std::string> many;
        int count = 8 + static_cast<int>(rng() % 60);
        for (int i = 0; i < count; ++i) {
            std::string s;
            s += "xyz"[rng() % 3];
            s += static_cast<char>('0' + rng() % 4);
            s += rng() % 8 ? '.' : "c.q"[rng() % 3];
            s += static_cast<char>('0' + rng() % 3);
            s += rng() % 10 ? 'e' : "ef9"[rng() % 3];
            many.push_back(s);
        }
        static const seq_range ranges[] = {{1, 0}, {2, 0}, {1, 3}, {2, 4}};
        ASSERT_TRUE(agrees(walk_order(many), ranges[rng() % 4])) << "folder " << folder;
    }
}

TEST(run_finder, interleaved_formats_give_one_run_per_format) {
    // Every frame in several formats: each format is one run from its first frame on.
    std::mt19937 rng(15);
    for (int folder = 0; folder < 300; ++folder) {
        std::vector<std::string> raw;
        static const char* const formats[] = {".dpx", ".exr", ".jpg", ".JPG", ".png", ".tif", "_a.exr", ".ex"};
        int kinds = 1 + static_cast<int>(rng() % 5), frames = 2 + static_cast<int>(rng() % 30);
        int first = static_cast<int>(rng() % 3);
        for (int f = first; f < first + frames; ++f)
            for (int k = 0; k < kinds; ++k) {
                if (rng() % 11 == 0) continue;  // a missing frame splits that format's run
                char buf[32];
                std::snprintf(buf, sizeof buf, "beauty.%04d%s", f, formats[(folder + k) % 8]);
                raw.push_back(buf);
            }
        ASSERT_TRUE(agrees(walk_order(raw), {1, 0})) << "folder " << folder;
    }
    // beauty.0001.exr ... beauty.0100.exr beside beauty.0001.jpg ... beauty.0100.jpg.
    std::vector<std::string> plates;
    std::string exr, jpg;
    char name[24];
    for (int i = 1; i <= 100; ++i) {
        for (const char* ext : {".exr", ".jpg"}) {
            std::snprintf(name, sizeof name, "beauty.%04d%s", i, ext);
            plates.push_back(name);
            (ext[1] == 'e' ? exr : jpg) += (i > 1 ? " " : "") + std::string(name);
        }
    }
    EXPECT_EQ(entry_lines(walk_order(plates)), (lines{exr + " @8..11", jpg + " @8..11"}));
}

TEST(run_finder, wide_names_agree_with_the_literal_walk) {
    // Cyrillic and Greek in both cases, CJK, Latin beyond code page 1252, an
    // emoji (a surrogate pair) and a lone surrogate among digits.
    static const char16_t* const pieces[] = {u"\u0421\u043d\u0438\u043c\u043e\u043a", u"\u0441\u043d\u0438\u043c\u043e\u043a",
                                             u"\u03a3", u"\u03c3", u"\u5199\u771f", u"\u0141\u00f3d\u017a", u"\U0001F39E",
                                             u"\U00010400", u"\U00010428", u"\xD800", u"_", u".", u"a", u"\uFF11"};
    std::mt19937 rng(1616);
    for (int folder = 0; folder < 3000; ++folder) {
        std::vector<std::u16string> bases;
        for (int b = 0; b < 3; ++b) {
            std::u16string s;
            int parts = 1 + static_cast<int>(rng() % 3);
            for (int k = 0; k < parts; ++k) s += pieces[rng() % 14];
            bases.push_back(s);
        }
        std::vector<std::u16string> raw;
        int count = 1 + static_cast<int>(rng() % 30);
        for (int i = 0; i < count; ++i) {
            std::u16string s = bases[rng() % 3];
            std::string n = std::to_string(rng() % 12);
            if (rng() % 2 && n.size() < 2) n = "0" + n;
            std::u16string number(n.begin(), n.end());
            size_t at = rng() % (s.size() + 1);
            raw.push_back(s.substr(0, at) + number + s.substr(at) + (rng() % 3 ? u".jpg" : u".JPG"));
        }
        static const seq_range ranges[] = {{1, 0}, {1, 0}, {2, 0}, {3, 6}};
        std::vector<std::u16string> names = walk_order_w(raw);
        ASSERT_TRUE(agrees(names, ranges[rng() % 4])) << "folder " << folder;
    }
    EXPECT_EQ(printable(std::u16string(u"a\u0416")), "a\\u0416");
}

TEST(run_finder, names_of_one_length_that_are_no_numbers_are_passed_over_quickly_and_exactly) {
    // Hashed names with a shared extension: every field holds letters, so every
    // candidate is passed over; runs hide among them, some endings repeat.
    std::mt19937 rng(404);
    for (int folder = 0; folder < 60; ++folder) {
        std::vector<std::string> raw;
        const char* digits = folder % 2 ? "0123456789abcdef" : "0123456789";
        int count = 40 + static_cast<int>(rng() % 400);
        for (int i = 0; i < count; ++i) {
            std::string s;
            for (int k = 0; k < 8; ++k) s += digits[rng() % (folder % 2 ? 16 : 10)];
            if (rng() % 5 == 0) s.replace(4, 4, "c0de");  // endings shared by many
            raw.push_back(s + (rng() % 4 ? ".jpg" : ".JPG"));
        }
        static const seq_range ranges[] = {{1, 0}, {1, 8}, {3, 0}};
        ASSERT_TRUE(agrees(walk_order(raw), ranges[folder % 3])) << "folder " << folder;
    }
}
