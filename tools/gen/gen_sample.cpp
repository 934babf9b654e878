// Writes the bundled sample: a small script data file "sample.dat" and a
// text library archive "ou.bin", with a few readable symbols and text blocks
// (which the demo edits) among generated ones.
// Usage: gen_sample <folder>
#include <cstdio>
#include <string>
#include <vector>

#include "stream/stream.hpp"
#include "tools/fixtures/archive_fixture.hpp"
#include "tools/fixtures/scriptdata_fixture.hpp"

namespace script = kit_fixtures::script;

namespace {

bool write_whole(const std::string& path, const std::string& bytes) {
    kit::Writer out;
    if (!out.open(path, kit::Translation::binary)) return false;
    out.write(bytes);
    out.close();
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: gen_sample <folder>\n", stdout);
        return 1;
    }
    const std::string dir = argv[1];

    script::File dat;
    dat.records.push_back(script::string_list("Greeting", {"Hello there"}));
    dat.records.push_back(script::string_list("Menu", {"Open", "Save", "Quit"}));
    dat.records.push_back(script::word_list("Scores", 1, {10, 20, 30}));
    dat.records.push_back(script::one_word("MaxLives", 4, 3));
    dat.records.push_back(script::no_content("Unused", 3, 2));
    dat.records.push_back(script::bare("Handler", 8));
    script::RandomRecords random(2026);
    for (int i = 0; i < 24; ++i) dat.records.push_back(random.next());
    dat.tail = script::tail_bytes(7, 0, 256);

    kit_fixtures::Archive bin;
    bin.items.push_back(kit_fixtures::normal_item("INTRO", "Welcome to the island."));
    bin.items.push_back(kit_fixtures::normal_item("DOOR", "The door is locked."));
    bin.items.push_back(kit_fixtures::normal_item("KEY", "You found a rusty key."));
    bin.items.push_back(kit_fixtures::normal_item("END", "Thanks for playing!"));
    bin.objects = static_cast<std::uint32_t>(bin.items.size());

    if (!write_whole(dir + "/sample.dat", dat.bytes()) || !write_whole(dir + "/ou.bin", kit_fixtures::archive_bytes(bin))) {
        std::fputs("gen_sample: cannot write into the folder\n", stdout);
        return 1;
    }
    return 0;
}
