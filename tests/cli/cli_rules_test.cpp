#include <gtest/gtest.h>

#include <string>

#include "cli/convert_tool.h"

namespace tolvane::cli {
namespace {

struct FolderCase {
    const char* firstFile;
    const char* folder;
};

// The folder of the first file keeps its trailing "/"; no "/" means the
// current folder.
const FolderCase kFolderCases[] = {
    {"/pics/a.jpg", "/pics/缩小后图/"},
    {"rel/sub/a.png", "rel/sub/缩小后图/"},
    {"a.png", "缩小后图/"},
    {"/a.png", "/缩小后图/"},
    {"pics//a.png", "pics//缩小后图/"},
    {"照片/图.png", "照片/缩小后图/"},
};

TEST(CliRules, AutomaticOutputFolderIsTheFirstFilesFolderPlusTheFolderName) {
    for (const FolderCase& c : kFolderCases) {
        EXPECT_EQ(AutomaticOutputFolder(c.firstFile), c.folder) << c.firstFile;
    }
}

struct DestinationCase {
    const char* folder;
    const char* source;
    const char* destination;
};

// A hand-given folder may lack its "/"; an empty one means the current folder.
const DestinationCase kDestinationCases[] = {
    {"out", "/pics/a.png", "out/a.png"},
    {"out/", "/pics/a.png", "out/a.png"},
    {"", "/pics/a.png", "a.png"},
    {"/x/缩小后图/", "b.jpg", "/x/缩小后图/b.jpg"},
    {"out", "pics/", "out/"},
};

TEST(CliRules, EachFileKeepsItsNameInTheOutputFolder) {
    for (const DestinationCase& c : kDestinationCases) {
        EXPECT_EQ(DestinationIn(c.folder, FileName(c.source)), c.destination)
            << c.folder << " + " << c.source;
    }
}

}  // namespace
}  // namespace tolvane::cli
