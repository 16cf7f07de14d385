// Replays saved inputs through the fuzz targets' property checks: every file of
// fuzz/regressions/<target>/ (inputs that once broke a property) and of
// fuzz/corpus/<target>/ (the seeds).  One test per file.
#include "fuzz/properties.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <dirent.h>
#include <fstream>
#include <iterator>

namespace {

struct SavedInput {
    const FuzzTarget *target;
    std::string folder;     // "regressions" or "corpus"
    std::string file;
};

// Inputs are every file but hidden ones and notes (*.md).
bool IsInput(const std::string &name)
{
    if (name.empty() || name[0] == '.')
        return false;
    return name.size() < 3 || name.compare(name.size() - 3, 3, ".md") != 0;
}

std::vector<SavedInput> SavedInputs()
{
    std::vector<SavedInput> inputs;
    for (size_t t = 0; t < FuzzTargetCount; ++t) {
        for (const char *folder : {"regressions", "corpus"}) {
            std::string dir = std::string(FUZZ_DIR) + "/" + folder + "/" + FuzzTargets[t].name;
            DIR *d = opendir(dir.c_str());
            if (d == nullptr)
                continue;
            std::vector<std::string> names;
            while (struct dirent *e = readdir(d)) {
                if (IsInput(e->d_name))
                    names.push_back(e->d_name);
            }
            closedir(d);
            std::sort(names.begin(), names.end());
            for (const std::string &name : names)
                inputs.push_back(SavedInput{&FuzzTargets[t], folder, name});
        }
    }
    return inputs;
}

std::string TestName(const testing::TestParamInfo<SavedInput> &info)
{
    std::string name = std::string(info.param.target->name) + "_" + info.param.folder + "_" +
                       info.param.file;
    for (char &c : name) {
        if (!isalnum((unsigned char)c))
            c = '_';
    }
    return name;
}

// Shown by name, not as a dump of the record's bytes.
void PrintTo(const SavedInput &input, std::ostream *out)
{
    *out << input.folder << "/" << input.target->name << "/" << input.file;
}

class SavedInputTest : public testing::TestWithParam<SavedInput> {};

TEST_P(SavedInputTest, KeepsTheProperties)
{
    const SavedInput &input = GetParam();
    std::string path = std::string(FUZZ_DIR) + "/" + input.folder + "/" + input.target->name +
                       "/" + input.file;
    std::ifstream file(path, std::ios::binary);
    ASSERT_TRUE(file) << path;
    std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_EQ("", input.target->check((const uint8_t *)bytes.data(), bytes.size())) << path;
}

INSTANTIATE_TEST_SUITE_P(Fuzz, SavedInputTest, testing::ValuesIn(SavedInputs()), TestName);

} // namespace
