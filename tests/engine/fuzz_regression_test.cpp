#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "engine/codecs/bmp_reader.h"
#include "engine/codecs/jpeg_codec.h"
#include "engine/codecs/pcx_reader.h"
#include "engine/codecs/photocd_reader.h"
#include "engine/codecs/png_reader.h"
#include "engine/codecs/tiff_reader.h"
#include "engine/convert.h"
#include "support/test_support.h"

namespace tolvane {
namespace {

namespace fs = std::filesystem;

// Inputs the fuzz targets once failed on, one folder per target, each run
// the way that target runs it: the file through one reader's Open and
// Decode, or through the whole conversion.
const fs::path kFolder = fs::path(TOLVANE_SOURCE_DIR) / "tests/data/fuzz";

template <typename Reader, typename... Args>
int32_t ReadWith(const std::string& path, Args... args) {
    ImageBuffer image;
    Reader reader;
    int32_t result = reader.Open(path.c_str(), &image, args..., nullptr);
    if (result == 1) {
        result = reader.Decode();
    }
    reader.Close();
    return result;
}

// The Photo CD target takes its first byte as the resolution and pads the
// rest to the smallest pack size.
int32_t ReadAsPack(const std::string& path, const test::ScopedTempDir& dir) {
    std::vector<uint8_t> bytes = test::ReadFileBytes(path);
    if (bytes.empty()) {
        return 0;
    }
    const int32_t resolution = bytes[0] % 4;
    bytes.erase(bytes.begin());
    if (bytes.size() < static_cast<size_t>(PhotoCdReader::kMinimumFileSize)) {
        bytes.resize(PhotoCdReader::kMinimumFileSize, 0);
    }
    const std::string pack = dir.File("pack.pcd");
    test::WriteFileBytes(pack, bytes);
    return ReadWith<PhotoCdReader>(pack, resolution);
}

struct FuzzCase {
    std::string name;  // target/file
    fs::path path;
};

std::vector<FuzzCase> Cases() {
    std::vector<FuzzCase> cases;
    std::error_code error;
    for (const auto& target : fs::directory_iterator(kFolder, error)) {
        for (const auto& input : fs::directory_iterator(target.path(), error)) {
            cases.push_back(
                {target.path().filename().string() + "/" + input.path().filename().string(),
                 input.path()});
        }
    }
    return cases;
}

void PrintTo(const FuzzCase& c, std::ostream* out) {
    *out << c.name;
}

class FuzzRegression : public ::testing::TestWithParam<FuzzCase> {};

TEST_P(FuzzRegression, EndsWithAResultCodeAndNoLargeAllocation) {
    test::PrivateTempFolder temp;
    test::ScopedTempDir dir;
    const std::string path = GetParam().path.string();
    const std::string target = GetParam().path.parent_path().filename().string();
    const std::map<std::string, std::function<int32_t()>> runs = {
        {"convert",
         [&] { return ConvertImage(path.c_str(), dir.File("out.jpg").c_str(), 0, 75, 1, 0); }},
        {"jpeg", [&] { return ReadWith<JpegCodec>(path); }},
        {"bmp", [&] { return ReadWith<BmpReader>(path); }},
        {"tiff", [&] { return ReadWith<TiffReader>(path); }},
        {"png", [&] { return ReadWith<PngReader>(path); }},
        {"pcx", [&] { return ReadWith<PcxReader>(path); }},
        {"photocd", [&] { return ReadAsPack(path, dir); }},
    };
    const auto run = runs.find(target);
    ASSERT_NE(run, runs.end()) << "no fuzz target is called " << target;

    int32_t result = 0;
    const std::optional<size_t> largest =
        test::LargestAllocationDuring([&] { result = run->second(); });
    if (target == "convert") {
        EXPECT_TRUE(result == kConvertOk || result == kConvertNotReadable) << result;
    } else {
        EXPECT_TRUE(result == 0 || result == 1) << result;
    }
    if (largest) {
        EXPECT_LT(*largest, test::kLargeAllocation);
    }
    EXPECT_TRUE(temp.Leftovers().empty());
}

INSTANTIATE_TEST_SUITE_P(Inputs, FuzzRegression, ::testing::ValuesIn(Cases()),
                         [](const auto& info) {
                             std::string name = info.param.name;
                             for (char& c : name) {
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             }
                             return name;
                         });

}  // namespace
}  // namespace tolvane
