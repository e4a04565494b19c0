#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "support/fixtures.h"
#include "support/test_support.h"

extern char** environ;

namespace tolvane::test {
namespace {

using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

std::string ReadText(const std::string& path) {
    std::vector<uint8_t> bytes = ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

// A run of the program that has been started and not yet waited for.
struct Started {
    pid_t pid = -1;
    std::unique_ptr<ScopedTempDir> capture;  // where its output goes
};

// Starts the program with `args` in `cwd` (the test's own when empty).
// Output goes to files, so there is no pipe to drain while waiting.
Started StartTool(const std::vector<std::string>& args, const std::string& cwd = "") {
    Started started;
    started.capture = std::make_unique<ScopedTempDir>();
    const std::string outPath = started.capture->File("stdout");
    const std::string errPath = started.capture->File("stderr");

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (!cwd.empty()) {
        posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
    }
    std::vector<char*> argv;
    std::string program = TOLVANE_CONVERT_PROGRAM;
    argv.push_back(program.data());
    std::vector<std::string> owned = args;
    for (std::string& arg : owned) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);

    int spawned =
        posix_spawn(&started.pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        ADD_FAILURE() << "cannot start " << program;
        started.pid = -1;
    }
    return started;
}

// Waits for a started run and collects what it said.
Outcome FinishTool(Started& started) {
    Outcome outcome;
    if (started.pid < 0) {
        return outcome;
    }
    int wstatus = 0;
    waitpid(started.pid, &wstatus, 0);
    started.pid = -1;
    // A signal shows as 128 + its number, never as one of the tool's statuses.
    outcome.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
    outcome.out = ReadText(started.capture->File("stdout"));
    outcome.err = ReadText(started.capture->File("stderr"));
    // A sanitizer's exit status could pass for one of ours.
    EXPECT_THAT(outcome.err, Not(HasSubstr("Sanitizer"))) << outcome.err;
    EXPECT_THAT(outcome.err, Not(HasSubstr("runtime error"))) << outcome.err;
    return outcome;
}

Outcome RunTool(const std::vector<std::string>& args, const std::string& cwd = "") {
    Started started = StartTool(args, cwd);
    return FinishTool(started);
}

size_t LineCount(const std::string& text) {
    return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
}

uint64_t SizeOf(const std::string& path) {
    return ReadFileBytes(path).size();
}

void WriteSamplePng(const std::string& path, int width, int height) {
    PngFixture fixture;
    fixture.width = width;
    fixture.height = height;
    fixture.colorType = 2;  // RGB
    fixture.samples = MakePattern(width, height, 3).samples;
    WritePng(path, fixture);
}

void WriteSampleJpeg(const std::string& path, int width, int height) {
    WriteJpeg(path, MakePattern(width, height, 3));
}

bool IsJpegData(const std::string& path) {
    std::vector<uint8_t> bytes = ReadFileBytes(path);
    return bytes.size() > 2 && bytes[0] == 0xFF && bytes[1] == 0xD8;
}

std::string Summary(size_t converted, size_t failed, size_t skipped, uint64_t before,
                    uint64_t after) {
    return "files converted: " + std::to_string(converted) + ", failed: " + std::to_string(failed) +
           ", skipped: " + std::to_string(skipped) + "; bytes before: " + std::to_string(before) +
           ", after: " + std::to_string(after) + "\n";
}

class ConvertTool : public ::testing::Test {
  protected:
    void TearDown() override { EXPECT_THAT(m_temp.Leftovers(), IsEmpty()); }

    // The engine's pixel stores go here; declared first so it is in force
    // before any file is made.
    PrivateTempFolder m_temp;
    ScopedTempDir m_dir;
};

// ---- one file: --to DEST SOURCE -------------------------------------------

struct SettingsCase {
    const char* name;
    std::vector<std::string> options;
    int components;
};
void PrintTo(const SettingsCase& c, std::ostream* out) {
    *out << c.name;
}

class ConvertToolSettings : public ConvertTool,
                            public ::testing::WithParamInterface<SettingsCase> {};

TEST_P(ConvertToolSettings, WritesAJpegOfTheSourcesSize) {
    const std::string source = m_dir.File("source.png");
    const std::string destination = m_dir.File("out.jpg");
    WriteSamplePng(source, 40, 30);

    std::vector<std::string> args = GetParam().options;
    args.insert(args.end(), {"--to", destination, source});
    Outcome run = RunTool(args);

    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_THAT(run.err, IsEmpty());
    Picture written = ReadJpeg(destination);
    EXPECT_EQ(written.width, 40);
    EXPECT_EQ(written.height, 30);
    EXPECT_EQ(written.components, GetParam().components);
}

const SettingsCase kSettingsCases[] = {
    {"defaults", {}, 3},
    {"gray", {"--gray"}, 1},
    {"range_ends", {"-q", "100", "--optimize", "0", "--smoothing", "100"}, 3},
    {"lowest_quality_no_smoothing", {"--quality", "1", "--smoothing", "0"}, 3},
};
INSTANTIATE_TEST_SUITE_P(Accepted, ConvertToolSettings, ::testing::ValuesIn(kSettingsCases),
                         test::CaseName());

struct FailureCase {
    const char* name;
    enum class Source { Missing, NotAPicture, Png } source;
    const char* destination;  // relative to the test folder
    std::vector<std::string> options;
    int status;
    const char* reason;
};
void PrintTo(const FailureCase& c, std::ostream* out) {
    *out << c.name;
}

class ConvertToolFailure : public ConvertTool, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(ConvertToolFailure, ExitsWithTheResultsMagnitudeAndSaysWhy) {
    const FailureCase& c = GetParam();
    const std::string source = m_dir.File("source.png");
    if (c.source == FailureCase::Source::NotAPicture) {
        WriteFileBytes(source, {'n', 'o', ' ', 'p', 'i', 'c', 't', 'u', 'r', 'e'});
    } else if (c.source == FailureCase::Source::Png) {
        WriteSamplePng(source, 8, 8);
    }
    const std::string destination = m_dir.File(c.destination);

    std::vector<std::string> args = c.options;
    args.insert(args.end(), {"--to", destination, source});
    Outcome run = RunTool(args);

    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(LineCount(run.err), 1u) << run.err;
    EXPECT_THAT(run.err, AllOf(HasSubstr("'" + source + "'"), HasSubstr(c.reason)));
    if (c.status == 4) {
        EXPECT_THAT(run.err, HasSubstr("'" + destination + "'"));
    }
    EXPECT_FALSE(PathExists(destination));
}

const FailureCase kFailureCases[] = {
    {"source_missing", FailureCase::Source::Missing, "out.jpg", {}, 1, "source file not found"},
    {"not_a_picture", FailureCase::Source::NotAPicture, "out.jpg", {}, 3, "not a readable picture"},
    {"destination_folder_missing",
     FailureCase::Source::Png,
     "no-such-folder/out.jpg",
     {},
     4,
     "could not write the JPEG file"},
    {"quality_zero", FailureCase::Source::Png, "out.jpg", {"-q", "0"}, 7, "invalid settings"},
    {"quality_above_100",
     FailureCase::Source::Png,
     "out.jpg",
     {"-q", "101"},
     7,
     "invalid settings"},
    {"negative_smoothing",
     FailureCase::Source::Png,
     "out.jpg",
     {"--smoothing", "-1"},
     7,
     "invalid settings"},
};
INSTANTIATE_TEST_SUITE_P(Codes, ConvertToolFailure, ::testing::ValuesIn(kFailureCases),
                         test::CaseName());

// ---- the command line itself ------------------------------------------------

struct UsageCase {
    const char* name;
    std::vector<std::string> args;
};
void PrintTo(const UsageCase& c, std::ostream* out) {
    *out << c.name;
}

class ConvertToolUsage : public ConvertTool, public ::testing::WithParamInterface<UsageCase> {};

TEST_P(ConvertToolUsage, IsRefusedWithStatus2AndWritesNothing) {
    Outcome run = RunTool(GetParam().args, m_dir.Path());

    EXPECT_EQ(run.status, 2);
    EXPECT_THAT(run.err, AllOf(HasSubstr("tolvane-convert: "), HasSubstr("--help")));
    EXPECT_THAT(run.out, IsEmpty());
    EXPECT_THAT(ListFolder(m_dir.Path()), IsEmpty());
}

const UsageCase kUsageCases[] = {
    {"nothing_to_do", {}},
    {"options_but_no_file", {"--gray", "-q", "80"}},
    {"unknown_option", {"--bogus", "a.png"}},
    {"quality_not_a_number", {"-q", "abc", "a.png"}},
    {"quality_not_whole", {"-q", "60.5", "a.png"}},
    {"quality_without_value", {"a.png", "-q"}},
    {"optimize_not_0_or_1", {"--optimize", "2", "a.png"}},
    {"smoothing_not_a_number", {"--smoothing", "x", "a.png"}},
    {"no_jobs", {"-j", "0", "a.png"}},
    {"to_without_source", {"--to", "out.jpg"}},
    {"to_with_two_sources", {"--to", "out.jpg", "a.png", "b.png"}},
    {"to_with_output_folder", {"--to", "out.jpg", "-o", "out", "a.png"}},
};
INSTANTIATE_TEST_SUITE_P(Errors, ConvertToolUsage, ::testing::ValuesIn(kUsageCases),
                         test::CaseName());

TEST_F(ConvertTool, VersionIsPrinted) {
    Outcome run = RunTool({"--version"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "1.0.0.0\n");
}

TEST_F(ConvertTool, HelpShowsBothModes) {
    Outcome run = RunTool({"--help"});
    EXPECT_EQ(run.status, 0);
    EXPECT_THAT(run.out, AllOf(HasSubstr("--to DEST SOURCE"), HasSubstr("FILE..."),
                               HasSubstr("--quality"), HasSubstr("--jobs")));
}

// ---- batches ----------------------------------------------------------------

TEST_F(ConvertTool, BatchGoesIntoTheFirstFilesFolderUnderTheSameNames) {
    const std::string pics = m_dir.File("pics");
    ASSERT_EQ(mkdir(pics.c_str(), 0700), 0);
    WriteSamplePng(pics + "/a.png", 20, 10);
    WriteSampleJpeg(pics + "/b.jpg", 16, 12);

    Outcome run = RunTool({pics + "/a.png", pics + "/b.jpg"});

    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_THAT(run.err, IsEmpty());  // no progress bar when stderr is no terminal
    const std::string out = pics + "/缩小后图/";
    ASSERT_EQ(ListFolder(out), (std::vector<std::string>{"a.png", "b.jpg"}));
    EXPECT_TRUE(IsJpegData(out + "a.png"));
    Picture a = ReadJpeg(out + "a.png");
    Picture b = ReadJpeg(out + "b.jpg");
    EXPECT_EQ(std::pair(a.width, a.height), std::pair(20, 10));
    EXPECT_EQ(std::pair(b.width, b.height), std::pair(16, 12));
    EXPECT_EQ(run.out, Summary(2, 0, 0, SizeOf(pics + "/a.png") + SizeOf(pics + "/b.jpg"),
                               SizeOf(out + "a.png") + SizeOf(out + "b.jpg")));
}

TEST_F(ConvertTool, BatchOfBareNamesGoesUnderTheCurrentFolder) {
    WriteSamplePng(m_dir.File("a.png"), 8, 8);

    Outcome run = RunTool({"a.png"}, m_dir.Path());

    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(IsJpegData(m_dir.File("缩小后图/a.png")));
}

TEST_F(ConvertTool, BatchIntoAGivenFolderOnTwoJobs) {
    std::vector<std::string> args = {"-o", m_dir.File("out"), "-j", "2", "-q", "80"};
    std::vector<std::string> names;
    for (int i = 0; i < 6; ++i) {
        names.push_back("p" + std::to_string(i) + ".png");
        WriteSamplePng(m_dir.File(names.back()), 10 + i, 7);
        args.push_back(m_dir.File(names.back()));
    }

    Outcome run = RunTool(args);

    EXPECT_EQ(run.status, 0) << run.err;
    ASSERT_EQ(ListFolder(m_dir.File("out")), names);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(ReadJpeg(m_dir.File("out/" + names[i])).width, 10 + i);
    }
    EXPECT_THAT(run.out, HasSubstr("files converted: 6, failed: 0, skipped: 0;"));
}

TEST_F(ConvertTool, BatchWithBadFilesConvertsTheRestAndExits1) {
    WriteSamplePng(m_dir.File("good.png"), 12, 9);
    WriteFileBytes(m_dir.File("junk.png"), {'j', 'u', 'n', 'k'});
    WriteSampleJpeg(m_dir.File("fine.jpg"), 9, 12);
    const std::string out = m_dir.File("out");

    Outcome run = RunTool({"-o", out, "-j", "2", m_dir.File("good.png"), m_dir.File("junk.png"),
                           m_dir.File("missing.png"), m_dir.File("fine.jpg")});

    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "tolvane-convert: '" + m_dir.File("junk.png") +
                           "': not a readable picture (unknown format or damaged file)\n"
                           "tolvane-convert: '" +
                           m_dir.File("missing.png") + "': source file not found\n");
    EXPECT_EQ(ListFolder(out), (std::vector<std::string>{"fine.jpg", "good.png"}));
    EXPECT_EQ(run.out,
              Summary(2, 2, 0, SizeOf(m_dir.File("good.png")) + SizeOf(m_dir.File("fine.jpg")),
                      SizeOf(out + "/good.png") + SizeOf(out + "/fine.jpg")));
}

TEST_F(ConvertTool, BatchAtQualityZeroFailsEveryFile) {
    WriteSamplePng(m_dir.File("a.png"), 8, 8);

    Outcome run = RunTool({"-q", "0", "-o", m_dir.File("out"), m_dir.File("a.png")});

    EXPECT_EQ(run.status, 1);
    EXPECT_THAT(run.err, HasSubstr("invalid settings"));
    EXPECT_THAT(ListFolder(m_dir.File("out")), IsEmpty());
}

TEST_F(ConvertTool, OutputFolderIsMadeOneLevelOnly) {
    WriteSamplePng(m_dir.File("a.png"), 8, 8);
    const std::string out = m_dir.File("missing/out");

    Outcome run = RunTool({"-o", out, m_dir.File("a.png")});

    EXPECT_EQ(run.status, 1);
    EXPECT_THAT(run.err, AllOf(HasSubstr("cannot create output folder '" + out + "'"),
                               HasSubstr("No such file or directory")));
    EXPECT_FALSE(PathExists(m_dir.File("missing")));
}

TEST_F(ConvertTool, SameFileNameTwiceKeepsTheLaterFile) {
    ASSERT_EQ(mkdir(m_dir.File("x").c_str(), 0700), 0);
    ASSERT_EQ(mkdir(m_dir.File("y").c_str(), 0700), 0);
    WriteSamplePng(m_dir.File("x/a.png"), 20, 10);
    WriteSamplePng(m_dir.File("y/a.png"), 30, 15);
    const std::string out = m_dir.File("out");

    Outcome run = RunTool({"-o", out, m_dir.File("x/a.png"), m_dir.File("y/a.png")});

    EXPECT_EQ(run.status, 0);
    EXPECT_THAT(run.err, AllOf(HasSubstr("'" + m_dir.File("x/a.png") + "' skipped"),
                               HasSubstr("'" + m_dir.File("y/a.png") + "'")));
    EXPECT_EQ(ReadJpeg(out + "/a.png").width, 30);
    EXPECT_THAT(run.out, HasSubstr("files converted: 1, failed: 0, skipped: 1;"));
}

// Several batches at once over the same files, their pixel stores all in
// one temporary folder: each must claim its own names there, or two
// conversions would share a store and spoil each other's pixels. Every run
// converts every file into what a lone run writes, and no store stays.
TEST_F(ConvertTool, BatchesRunningTogetherShareTheTemporaryFolder) {
    constexpr int kFiles = 50;
    constexpr int kRuns = 4;
    std::vector<std::string> names;
    std::vector<std::pair<int, int>> sizes;
    std::vector<std::string> sources;
    for (int i = 0; i < kFiles; ++i) {
        const std::string stem = "p" + std::string(i < 10 ? "0" : "") + std::to_string(i);
        const std::pair<int, int> size = {16 + 9 * i, 12 + (i * 37) % 200};
        names.push_back(stem + (i % 2 ? ".jpg" : ".png"));
        sizes.push_back(size);
        sources.push_back(m_dir.File(names.back()));
        if (i % 2) {
            WriteSampleJpeg(sources.back(), size.first, size.second);
        } else {
            WriteSamplePng(sources.back(), size.first, size.second);
        }
    }
    auto batch = [&](const std::string& out, const char* jobs) {
        std::vector<std::string> args = {"-o", out, "-j", jobs};
        args.insert(args.end(), sources.begin(), sources.end());
        return args;
    };
    const std::string lone = m_dir.File("lone");
    ASSERT_EQ(RunTool(batch(lone, "1")).status, 0);
    ASSERT_EQ(ListFolder(lone), names);
    for (int i = 0; i < kFiles; ++i) {
        const JpegInfo info = ReadJpegInfo(lone + "/" + names[i]);
        ASSERT_EQ(std::pair(info.width, info.height), sizes[i]) << names[i];
    }

    std::vector<Started> runs;
    for (int r = 0; r < kRuns; ++r) {
        runs.push_back(StartTool(batch(m_dir.File("out" + std::to_string(r)), "4")));
    }
    for (int r = 0; r < kRuns; ++r) {
        SCOPED_TRACE("run " + std::to_string(r));
        Outcome run = FinishTool(runs[r]);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_THAT(run.err, IsEmpty());
        EXPECT_THAT(run.out, HasSubstr("files converted: 50, failed: 0, skipped: 0;"));
        const std::string out = m_dir.File("out" + std::to_string(r));
        ASSERT_EQ(ListFolder(out), names);
        for (const std::string& name : names) {
            EXPECT_TRUE(ReadFileBytes(out + "/" + name) == ReadFileBytes(lone + "/" + name))
                << name << " differs from what a lone run wrote";
        }
    }
    EXPECT_THAT(ListFolder(m_temp.Path()), IsEmpty());
}

}  // namespace
}  // namespace tolvane::test
