// Fuzz target: any dialog and controls give a template that Windows' parser reads back field for field.
#include <cstdint>
#include <string>
#include <vector>

#include "dialog/templates.h"
#include "fuzz_check.h"

using namespace tallyrun;

namespace {

// The templates these tests make.
template_list dialog_templates;

// Draws values from the fuzzer's bytes; zeros once they run out.
struct byte_source {
    const uint8_t* p;
    size_t n;
    uint32_t u32() {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v = (v << 8) | byte();
        return v;
    }
    uint8_t byte() {
        if (n == 0) return 0;
        --n;
        return *p++;
    }
    // Texts never hold NUL: every text the plugin puts in a template is a C string.
    std::string text() {
        size_t len = byte() % 40;
        std::string s;
        for (size_t i = 0; i < len && n > 0; ++i) {
            char c = static_cast<char>(byte());
            s += c ? c : 'x';
        }
        return s;
    }
};

// Reads the template as Windows does (extended format).
struct reader {
    const std::string& t;
    size_t at = 0;
    bool ok = true;
    uint32_t word() {
        if (at + 2 > t.size()) {
            ok = false;
            return 0;
        }
        uint32_t v = static_cast<uint8_t>(t[at]) | static_cast<uint8_t>(t[at + 1]) << 8;
        at += 2;
        return v;
    }
    uint32_t dword() {
        uint32_t lo = word();
        return lo | word() << 16;
    }
    // A string of UTF-16 units up to a zero unit, as its bytes.
    std::string units() {
        size_t start = at;
        while (ok && word() != 0) {
        }
        return ok ? t.substr(start, at - start - 2) : std::string();
    }
    void align() { at = (at + 3) & ~size_t{3}; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    byte_source in{data, size};
    std::string title = in.text();
    uint32_t style = in.u32(), ex_style = in.u32();
    int x = static_cast<int16_t>(in.u32()), y = static_cast<int16_t>(in.u32());
    int cx = static_cast<int16_t>(in.u32()), cy = static_cast<int16_t>(in.u32());
    dialog_font font{in.text(), static_cast<int>(in.u32() % 65536), static_cast<int>(in.u32() % 65536),
                     static_cast<int>(in.u32() % 65536)};
    int id = dialog(dialog_templates, title, x, y, cx, cy, style, ex_style, font);

    struct item {
        std::string cls, text;
        int id, x, y, cx, cy;
        uint32_t style, ex_style;
    };
    std::vector<item> items;
    size_t count = in.byte() % 12;
    for (size_t i = 0; i < count; ++i) {
        item c{in.text(), in.text(), static_cast<int>(in.u32()), static_cast<int16_t>(in.u32()),
               static_cast<int16_t>(in.u32()), static_cast<int16_t>(in.u32()),
               static_cast<int16_t>(in.u32()), in.u32(), in.u32()};
        control(dialog_templates, id, c.cls, c.text, c.id, c.x, c.y, c.cx, c.cy, c.style, c.ex_style);
        items.push_back(c);
    }
    const std::string t = dialog_templates[static_cast<size_t>(id) - 1];
    // The registry keeps every template for the life of the process; a fuzzer
    // making millions would only measure memory, so its own entry goes again.
    dialog_templates.pop_back();

    reader r{t};
    FUZZ_CHECK(r.word() == 1 && r.word() == 0xFFFF, "version and signature");
    FUZZ_CHECK(r.dword() == 0, "help id");
    FUZZ_CHECK(r.dword() == ex_style && r.dword() == style, "styles");
    FUZZ_CHECK(r.word() == count, "item count of %zu controls", count);
    FUZZ_CHECK(r.word() == (x & 0xFFFFu) && r.word() == (y & 0xFFFFu), "position");
    FUZZ_CHECK(r.word() == (cx & 0xFFFFu) && r.word() == (cy & 0xFFFFu), "size");
    FUZZ_CHECK(r.word() == 0 && r.word() == 0, "menu and class");
    FUZZ_CHECK(r.units() == to_utf16(title), "title of %zu bytes", title.size());
    if (style & 0x40) {
        FUZZ_CHECK(r.word() == static_cast<uint32_t>(font.point_size), "point size");
        FUZZ_CHECK(r.word() == static_cast<uint32_t>(font.weight), "weight");
        FUZZ_CHECK(r.word() == static_cast<uint32_t>(font.italic), "italic and charset");
        FUZZ_CHECK(r.units() == to_utf16(font.face), "typeface");
    }
    for (const item& c : items) {
        r.align();
        FUZZ_CHECK(r.at % 4 == 0 && r.at < t.size(), "item at %zu of %zu", r.at, t.size());
        FUZZ_CHECK(r.dword() == 0, "item help id");
        FUZZ_CHECK(r.dword() == c.ex_style && r.dword() == c.style, "item styles");
        FUZZ_CHECK(r.word() == (c.x & 0xFFFFu) && r.word() == (c.y & 0xFFFFu), "item position");
        FUZZ_CHECK(r.word() == (c.cx & 0xFFFFu) && r.word() == (c.cy & 0xFFFFu), "item size");
        FUZZ_CHECK(r.dword() == (static_cast<uint32_t>(c.id) & 0xFFFFu), "item id");
        FUZZ_CHECK(r.units() == to_utf16(c.cls), "class");
        FUZZ_CHECK(r.units() == to_utf16(c.text), "text");
        FUZZ_CHECK(r.word() == 0, "extra count");
    }
    r.align();
    FUZZ_CHECK(r.ok && r.at == t.size(), "parsed %zu of %zu bytes", r.at, t.size());
    return 0;
}
