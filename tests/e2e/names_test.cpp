// File names as users have them: script data files whose paths hold
// non-ASCII characters get their ".txt" and ".new" files beside them, under
// the same name, on every platform.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/harness.hpp"
#include "tools/fixtures/scriptdata_fixture.hpp"

namespace {

namespace script = kit_fixtures::script;

TEST(FileNames, NonAsciiNamesRoundTrip) {
    const script::File file = script::every_kind();
    const std::string bytes = file.bytes();
    const std::vector<std::string> names = {
        "\xD1\x82\xD0\xB5\xD0\xBA\xD1\x81\xD1\x82.dat",  // Cyrillic
        "caf\xC3\xA9 na\xC3\xAFve.dat",                  // accented Latin, a space
        "\xE6\x95\xB0\xE6\x8D\xAE.dat",                  // CJK
    };
    for (const auto& name : names) {
        kit_test::TempDir dir;
        dir.write(name, bytes);
        auto r = kit_test::run("symspill", {name}, dir.path());
        ASSERT_EQ(r.status, 0) << name << ": " << r.out;
        EXPECT_EQ(dir.read(name + ".txt"), file.dump()) << name;
        r = kit_test::run("symfold", {name}, dir.path());
        ASSERT_EQ(r.status, 0) << name << ": " << r.out;
        EXPECT_EQ(dir.read(name + ".new"), bytes) << name;
        EXPECT_EQ(dir.files(), (std::vector<std::string>{name, name + ".new", name + ".txt"}));
    }
}

TEST(FileNames, NonAsciiFolderInThePath) {
    kit_test::TempDir dir;
    const std::string folder = "\xD0\xBC\xD0\xBE\xD0\xB4 \xE6\x96\x87";
    std::filesystem::create_directory(dir / folder);
    const std::string path = folder + "/a.dat";
    const std::string bytes = script::every_kind().bytes();
    kit_test::write_file(dir / path, bytes);
    auto r = kit_test::run("symspill", {path}, dir.path());
    ASSERT_EQ(r.status, 0) << r.out;
    r = kit_test::run("symfold", {path}, dir.path());
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(kit_test::read_file(dir / (path + ".new")), bytes);
}

}  // namespace
