// Replays saved inputs through the fuzz targets' property checks: every file of
// fuzz/regressions/<target>/ (inputs that once broke a property) and of
// fuzz/corpus/<target>/ (the seeds), notes (*.md) aside.  One test per file.
#include "fuzz/properties.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

struct SavedInput {
    const FuzzTarget *target;
    std::string path;       // "regressions/<target>/<file>" or "corpus/<target>/<file>"
};

std::vector<SavedInput> SavedInputs()
{
    std::vector<SavedInput> inputs;
    for (size_t t = 0; t < FuzzTargetCount; ++t) {
        for (const char *folder : {"regressions", "corpus"}) {
            std::string dir = std::string(folder) + "/" + FuzzTargets[t].name;
            std::vector<std::string> names;
            std::error_code absent;
            for (const auto &e : std::filesystem::directory_iterator(FUZZ_DIR "/" + dir, absent)) {
                std::string name = e.path().filename();
                if (name[0] != '.' && e.path().extension() != ".md")
                    names.push_back(name);
            }
            std::sort(names.begin(), names.end());
            for (const std::string &name : names)
                inputs.push_back(SavedInput{&FuzzTargets[t], dir + "/" + name});
        }
    }
    return inputs;
}

// Shown by path, not as a dump of the record's bytes.
void PrintTo(const SavedInput &input, std::ostream *out)
{
    *out << input.path;
}

class SavedInputTest : public testing::TestWithParam<SavedInput> {};

TEST_P(SavedInputTest, KeepsTheProperties)
{
    std::string path = FUZZ_DIR "/" + GetParam().path;
    std::ifstream file(path, std::ios::binary);
    ASSERT_TRUE(file) << path;
    std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_EQ("", GetParam().target->check((const uint8_t *)bytes.data(), bytes.size())) << path;
}

// Named "<target>_<folder>_<file>", each byte that is no letter or digit made '_'.
std::string TestName(const testing::TestParamInfo<SavedInput> &info)
{
    const std::string &p = info.param.path;
    std::string name = info.param.target->name + ("_" + p.substr(0, p.find('/')));
    name += p.substr(p.rfind('/'));
    for (char &c : name)
        c = isalnum((unsigned char)c) ? c : '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Fuzz, SavedInputTest, testing::ValuesIn(SavedInputs()), TestName);

} // namespace
