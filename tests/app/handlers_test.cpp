#include "handlers.h"

#include <algorithm>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "controls.h"
#include "recording_runtime.h"

namespace tolvane::app {
namespace {

namespace c = controls;
using runtime::Event;
using runtime::Property;
using test::RecordingRuntime;
using test::SetLine;
using testing::ElementsAre;
using testing::ElementsAreArray;

const std::string kAuto = "缩小后图/";
const std::string kBusy = "Tolvane --> 处理中...";

// One call of the converter, with what the window showed while it ran.
struct Call {
    std::string source;
    std::string destination;
    int32_t grayscale;
    int32_t quality;
    int32_t optimize;
    int32_t smoothing;
    std::string captionDuring;
};

// What the run showed when it let input through after a pass.
struct Pass {
    int32_t bar;
    std::string label;
    bool operator==(const Pass&) const = default;
};

void PrintTo(const Pass& pass, std::ostream* out) {
    *out << pass.bar << " / " << pass.label;
}

class HandlersTest : public testing::Test {
  protected:
    HandlersTest()
        : m_handlers(runtime, [this](const std::string& source, const std::string& destination,
                                     int32_t grayscale, int32_t quality, int32_t optimize,
                                     int32_t smoothing) {
              calls.push_back({source, destination, grayscale, quality, optimize, smoothing,
                               runtime.At(c::kMainWindow).caption});
              return 1;
          }) {
        // The window as it opens.
        runtime.At(c::kMainWindow).caption = "Tolvane";
        runtime.At(c::kQualityBox).caption = "60";
        runtime.At(c::kStartButton).disabled = true;
        runtime.At(c::kPercentLabel).caption = "0.00 %";
        BindEvents(runtime, m_handlers);
    }

    void Drop(std::string_view text) { runtime.Raise(c::kDropReceiver, Event::FilesDropped, text); }
    void Click(std::string_view button) { runtime.Raise(button, Event::Clicked); }
    // What typing does to the box: its text changes and its handler runs.
    void Type(std::string_view text) {
        runtime.SetProperty(c::kQualityBox, Property::Caption, std::string(text));
    }
    std::string Caption(std::string_view control) { return runtime.At(control).caption; }

    // Rows /pics/f0.jpg, /pics/f1.jpg, ...
    void ListFiles(int count) {
        std::string text;
        for (int i = 0; i < count; ++i) {
            text += "/pics/f" + std::to_string(i) + ".jpg\r\n";
        }
        Drop(text);
    }

    // Runs the start button and gives the bar and label after every pass.
    std::vector<Pass> Run() {
        std::vector<Pass> passes;
        runtime.onPump = [&] {
            passes.push_back({runtime.At(c::kProgressBar).position, Caption(c::kPercentLabel)});
        };
        Click(c::kStartButton);
        runtime.onPump = nullptr;
        return passes;
    }

    std::vector<std::string> ListedPaths() {
        std::vector<std::string> paths;
        for (const auto& row : runtime.Rows(c::kFileList)) {
            paths.push_back(row[c::kPathColumn]);
        }
        return paths;
    }

    // The log lines that start with the prefix, in order.
    std::vector<std::string> LogLines(std::string_view prefix) {
        std::vector<std::string> lines;
        for (const std::string& line : runtime.Log()) {
            if (line.rfind(prefix, 0) == 0) {
                lines.push_back(line);
            }
        }
        return lines;
    }

    RecordingRuntime runtime;
    std::vector<Call> calls;

  private:
    Handlers m_handlers;
};

// ---- Window created ----

TEST_F(HandlersTest, CreatedRegistersTheFileListForTheDropReceiver) {
    runtime.Raise(c::kMainWindow, Event::Created);
    const runtime::NativeWindow list = runtime.NativeHandle(c::kFileList);
    ASSERT_EQ(runtime.dropWindows.count(std::string(c::kDropReceiver)), 1u);
    EXPECT_EQ(runtime.dropWindows.at(std::string(c::kDropReceiver)), list);
}

// ---- Files dropped ----

struct SplitCase {
    const char* name;
    std::string text;
    std::vector<std::string> listed;
};

void PrintTo(const SplitCase& value, std::ostream* out) {
    *out << value.name;
}

class DropSplitTest : public HandlersTest, public testing::WithParamInterface<SplitCase> {};

TEST_P(DropSplitTest, ListsThePiecesBetweenLineBreaks) {
    Drop(GetParam().text);
    EXPECT_EQ(ListedPaths(), GetParam().listed);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DropSplitTest,
    testing::Values(
        // One file comes as the bare path.
        SplitCase{"single", "/pics/a.jpg", {"/pics/a.jpg"}},
        // Several come each followed by CR LF; nothing follows the last one.
        SplitCase{"two", "/pics/a.jpg\r\n/pics/b.png\r\n", {"/pics/a.jpg", "/pics/b.png"}},
        SplitCase{"empty_text", "", {}},
        // An empty stretch is a piece, whose empty name is refused.
        SplitCase{"empty_stretch", "/p/a.jpg\r\n\r\n/p/b.jpg\r\n", {"/p/a.jpg", "/p/b.jpg"}},
        // A last stretch without a separator still counts.
        SplitCase{"unterminated_last", "/p/a.jpg\r\n/p/b.jpg", {"/p/a.jpg", "/p/b.jpg"}},
        // A lone LF separates nothing.
        SplitCase{"bare_line_feed", "/p/a.gif\n/p/b.jpg", {"/p/a.gif\n/p/b.jpg"}},
        SplitCase{"keeps_drop_order", "/p/z.png\r\n/p/a.png\r\n", {"/p/z.png", "/p/a.png"}}),
    [](const testing::TestParamInfo<SplitCase>& info) { return info.param.name; });

struct NameCase {
    const char* name;
    std::string path;
    bool listed;
    std::string fileName;
};

void PrintTo(const NameCase& value, std::ostream* out) {
    *out << value.name;
}

class DropExtensionTest : public HandlersTest, public testing::WithParamInterface<NameCase> {};

TEST_P(DropExtensionTest, ListsOnlyNamesEndingInAListedExtension) {
    Drop(GetParam().path);
    const auto& rows = runtime.Rows(c::kFileList);
    if (!GetParam().listed) {
        EXPECT_TRUE(rows.empty());
        return;
    }
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][c::kNameColumn], GetParam().fileName);
    EXPECT_EQ(rows[0][c::kPathColumn], GetParam().path);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DropExtensionTest,
    testing::Values(NameCase{"upper_jpg", "/p/x.JPG", true, "x.JPG"},
                    NameCase{"lower_jpg", "/p/x.jpg", true, "x.jpg"},
                    NameCase{"upper_png", "/p/x.PNG", true, "x.PNG"},
                    NameCase{"lower_png", "/p/x.png", true, "x.png"},
                    NameCase{"mixed_case", "/p/x.Jpg", false, ""},
                    NameCase{"jpeg", "/p/x.jpeg", false, ""},
                    NameCase{"gif", "/p/x.gif", false, ""}, NameCase{"bmp", "/p/x.bmp", false, ""},
                    // Only the last three bytes count, not the dot.
                    NameCase{"no_dot", "/p/xjpg", true, "xjpg"},
                    NameCase{"name_is_extension", "/p/png", true, "png"},
                    NameCase{"short_name", "/p/pg", false, ""},
                    // A folder is taken by its name like a file.
                    NameCase{"folder", "/home/u/pics", false, ""},
                    NameCase{"folder_named_png", "/home/u/old.png", true, "old.png"},
                    // A trailing separator leaves an empty name.
                    NameCase{"trailing_separator", "/p/a.png/", false, ""},
                    NameCase{"no_separator", "a.png", true, "a.png"},
                    NameCase{"chinese_names", "/图片/照片.jpg", true, "照片.jpg"}),
    [](const testing::TestParamInfo<NameCase>& info) { return info.param.name; });

TEST_F(HandlersTest, DropAppendsAfterEarlierRowsAndListsRepeatsAgain) {
    Drop("/pics/a.jpg");
    Drop("/pics/b.png\r\n/pics/a.jpg\r\n");
    EXPECT_THAT(ListedPaths(), ElementsAre("/pics/a.jpg", "/pics/b.png", "/pics/a.jpg"));
    EXPECT_EQ(runtime.Rows(c::kFileList)[1][c::kNameColumn], "b.png");
}

TEST_F(HandlersTest, OutputFolderFollowsTheFirstRowOfTheList) {
    Drop("/pics/a.jpg");
    EXPECT_EQ(Caption(c::kFolderLabel), "/pics/" + kAuto);
    // Files from elsewhere join the list, but the first row still decides.
    Drop("/new/b.jpg");
    EXPECT_EQ(Caption(c::kFolderLabel), "/pics/" + kAuto);
}

TEST_F(HandlersTest, OutputFolderOfTheFirstAcceptedPiece) {
    Drop("/skipped/a.gif\r\n/root.png\r\n/pics/b.png\r\n");
    EXPECT_EQ(Caption(c::kFolderLabel), "/" + kAuto);
}

TEST_F(HandlersTest, DropThatAddsNothingStillResetsTheControls) {
    runtime.At(c::kProgressBar).position = 70;
    Drop("/pics/a.gif");
    EXPECT_FALSE(runtime.At(c::kHintLabel).visible);
    EXPECT_FALSE(runtime.At(c::kStartButton).disabled);
    EXPECT_EQ(runtime.At(c::kProgressBar).position, 0);
    EXPECT_EQ(Caption(c::kFolderLabel), kAuto);
}

TEST_F(HandlersTest, DropReplacesAChosenFolder) {
    Drop("/pics/a.jpg");
    runtime.folderAnswers.push_back("/home/u/out");
    Click(c::kChooseButton);
    ASSERT_EQ(Caption(c::kFolderLabel), "/home/u/out");
    Drop("/pics/b.jpg");
    EXPECT_EQ(Caption(c::kFolderLabel), "/pics/" + kAuto);
}

TEST_F(HandlersTest, DropLeavesThePercentLabelAndCaptionAlone) {
    runtime.At(c::kPercentLabel).caption = "100 %";
    Drop("/pics/a.jpg\r\n/pics/b.jpg\r\n");
    EXPECT_EQ(Caption(c::kPercentLabel), "100 %");
    EXPECT_EQ(Caption(c::kMainWindow), "Tolvane");
    EXPECT_TRUE(LogLines("Set " + std::string(c::kPercentLabel)).empty());
    EXPECT_TRUE(LogLines("Set " + std::string(c::kMainWindow)).empty());
}

// ---- Quality box ----

struct QualityCase {
    const char* name;
    std::string typed;
    std::string shown;
};

void PrintTo(const QualityCase& value, std::ostream* out) {
    *out << value.name;
}

class QualityClampTest : public HandlersTest, public testing::WithParamInterface<QualityCase> {};

TEST_P(QualityClampTest, KeepsTheNumberWithinZeroToHundred) {
    Type(GetParam().typed);
    EXPECT_EQ(Caption(c::kQualityBox), GetParam().shown);
    // The correction raises the handler once more, which changes nothing.
    const size_t corrections = GetParam().typed == GetParam().shown ? 0 : 1;
    EXPECT_EQ(LogLines("Set " + std::string(c::kQualityBox)).size(), 1 + corrections);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, QualityClampTest,
    testing::Values(
        QualityCase{"minus_three", "-3", "0"}, QualityCase{"two_digits_of_250", "25", "25"},
        QualityCase{"two_fifty", "250", "100"},
        QualityCase{"letters", "abc", "abc"},  // its number is 0
        QualityCase{"exponent", "1e3", "100"},
        QualityCase{"inside_tolerance_above", "100.00000005", "100.00000005"},
        QualityCase{"beyond_tolerance_above", "100.0000002", "100"},
        QualityCase{"inside_tolerance_below", "-0.00000005", "-0.00000005"},
        QualityCase{"beyond_tolerance_below", "-0.0000002", "0"}, QualityCase{"zero", "0", "0"},
        QualityCase{"hundred", "100", "100"}, QualityCase{"empty", "", ""},
        QualityCase{"full_width_sixty", "\xEF\xBC\x96\xEF\xBC\x90", "\xEF\xBC\x96\xEF\xBC\x90"},
        QualityCase{"full_width_250", "\xEF\xBC\x92\xEF\xBC\x95\xEF\xBC\x90", "100"},
        QualityCase{"full_width_minus", "\xEF\xBC\x8D\xEF\xBC\x93", "0"},
        QualityCase{"overflowing", "1e400", "100"}),
    [](const testing::TestParamInfo<QualityCase>& info) { return info.param.name; });

TEST_F(HandlersTest, TypingDigitByDigitClampsOnlyWhenTheNumberLeavesTheRange) {
    Type("2");
    Type("25");
    EXPECT_EQ(Caption(c::kQualityBox), "25");
    Type("250");
    EXPECT_EQ(Caption(c::kQualityBox), "100");
    Type("-");
    Type("-3");
    EXPECT_EQ(Caption(c::kQualityBox), "0");
}

// ---- Choose and clear ----

TEST_F(HandlersTest, ChooseAsksForTheOutputFolderWithFilesListed) {
    Drop("/pics/a.jpg");
    runtime.folderAnswers.push_back("/home/u/out");
    Click(c::kChooseButton);
    EXPECT_THAT(LogLines("ChooseFolder"), ElementsAre("ChooseFolder \"保存路径\" with files"));
    EXPECT_EQ(Caption(c::kFolderLabel), "/home/u/out");
}

TEST_F(HandlersTest, CancelledChoiceKeepsTheOutputFolder) {
    Drop("/pics/a.jpg");
    Click(c::kChooseButton);  // no answer: the user cancelled
    EXPECT_EQ(Caption(c::kFolderLabel), "/pics/" + kAuto);
}

TEST_F(HandlersTest, ChosenFileBecomesTheOutputFolder) {
    runtime.folderAnswers.push_back("/home/u/notes.txt");
    Click(c::kChooseButton);
    EXPECT_EQ(Caption(c::kFolderLabel), "/home/u/notes.txt");
}

TEST_F(HandlersTest, ClearResetsListHintFolderBarAndStartInThatOrder) {
    Drop("/pics/a.jpg\r\n/pics/b.jpg\r\n");
    runtime.At(c::kProgressBar).position = 100;
    runtime.At(c::kPercentLabel).caption = "100 %";
    Type("80");
    runtime.ClearLog();

    Click(c::kClearButton);

    EXPECT_THAT(runtime.Log(),
                ElementsAre("ListClear " + std::string(c::kFileList),
                            SetLine(c::kHintLabel, Property::Visible, true),
                            SetLine(c::kFolderLabel, Property::Caption, std::string()),
                            SetLine(c::kProgressBar, Property::Position, int32_t{0}),
                            SetLine(c::kStartButton, Property::Disabled, true)));
    EXPECT_TRUE(runtime.Rows(c::kFileList).empty());
    EXPECT_EQ(Caption(c::kPercentLabel), "100 %");
    EXPECT_EQ(Caption(c::kQualityBox), "80");
    EXPECT_EQ(Caption(c::kMainWindow), "Tolvane");
}

// ---- The run ----

TEST_F(HandlersTest, RunOverThreeRowsShowsBarOneFileAheadOfTheLabel) {
    Drop("/pics/a.jpg\r\n/pics/b.png\r\n/pics/c.jpg\r\n");
    EXPECT_THAT(Run(), ElementsAre(Pass{33, "0 %"}, Pass{66, "33.33 %"}, Pass{100, "66.67 %"},
                                   Pass{100, "100 %"}));
}

TEST_F(HandlersTest, RunConvertsEveryRowIntoTheFolderAndOnePastTheEnd) {
    Drop("/pics/a.jpg\r\n/pics/b.png\r\n");
    Run();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].source, "/pics/a.jpg");
    EXPECT_EQ(calls[0].destination, "/pics/缩小后图/a.jpg");
    // A PNG keeps its name: the file holds JPEG data all the same.
    EXPECT_EQ(calls[1].source, "/pics/b.png");
    EXPECT_EQ(calls[1].destination, "/pics/缩小后图/b.png");
    // The extra pass reads the empty cells past the last row.
    EXPECT_EQ(calls[2].source, "");
    EXPECT_EQ(calls[2].destination, "/pics/缩小后图/");
    for (const Call& call : calls) {
        EXPECT_EQ(call.grayscale, 0);
        EXPECT_EQ(call.quality, 60);
        EXPECT_EQ(call.optimize, 1);
        EXPECT_EQ(call.smoothing, 0);
    }
}

TEST_F(HandlersTest, RunCreatesTheFolderFirstAndOpensItLast) {
    Drop("/pics/a.jpg");
    runtime.createFolderResult = false;  // already there; the run goes on
    runtime.ClearLog();
    Run();
    const std::vector<std::string>& log = runtime.Log();
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(log[1], "CreateFolder \"/pics/缩小后图/\"");
    EXPECT_EQ(log.back(), "ShellOpen \"/pics/缩小后图/\"");
    EXPECT_EQ(calls.size(), 2u);
}

TEST_F(HandlersTest, CaptionShowsTheRunFromTheEndOfTheFirstPass) {
    Drop("/pics/a.jpg\r\n/pics/b.jpg\r\n");
    std::vector<std::string> captions;
    runtime.onPump = [&] { captions.push_back(Caption(c::kMainWindow)); };
    Click(c::kStartButton);
    EXPECT_EQ(calls[0].captionDuring, "Tolvane");
    EXPECT_EQ(calls[1].captionDuring, kBusy);
    EXPECT_EQ(calls[2].captionDuring, kBusy);
    EXPECT_THAT(captions, ElementsAre(kBusy, kBusy, kBusy));
    EXPECT_EQ(Caption(c::kMainWindow), "Tolvane");
}

TEST_F(HandlersTest, HundredRowsShowTheBarAsDoubleArithmeticTruncatesIt) {
    ListFiles(100);
    const std::vector<Pass> passes = Run();
    ASSERT_EQ(passes.size(), 101u);
    // 29 / 100 * 100 lies just below 29.
    EXPECT_EQ(passes[28].bar, 28);
    EXPECT_EQ(passes[56].bar, 56);
    EXPECT_EQ(passes[57].bar, 57);
    EXPECT_EQ(passes[99].bar, 100);
    EXPECT_EQ(passes[29].label, "29 %");
    EXPECT_EQ(passes[100], (Pass{100, "100 %"}));
}

struct PercentCase {
    int rows;
    int pass;
    std::string label;
};

void PrintTo(const PercentCase& value, std::ostream* out) {
    *out << value.rows << " rows, pass " << value.pass;
}

class PercentLabelTest : public HandlersTest, public testing::WithParamInterface<PercentCase> {};

TEST_P(PercentLabelTest, WritesTheShareRoundedToTwoDecimals) {
    ListFiles(GetParam().rows);
    EXPECT_EQ(Run().at(static_cast<size_t>(GetParam().pass)).label, GetParam().label);
}

INSTANTIATE_TEST_SUITE_P(Cases, PercentLabelTest,
                         testing::Values(PercentCase{3, 0, "0 %"},      // no "0.00" after start
                                         PercentCase{8, 1, "12.5 %"},   // one decimal
                                         PercentCase{32, 1, "3.13 %"},  // 3.125 rounds up
                                         PercentCase{64, 1, "1.56 %"},  // 1.5625 rounds down
                                         PercentCase{6, 1, "16.67 %"},  // 16.666...
                                         PercentCase{7, 3, "42.86 %"},  // 42.857...
                                         PercentCase{1, 1, "100 %"},    // no ".00"
                                         PercentCase{200, 1, "0.5 %"},
                                         // 14.375 is stored just below; the nudge
                                         // before rounding lifts it to 14.38.
                                         PercentCase{160, 23, "14.38 %"}));

TEST_F(HandlersTest, EmptyListRunsOnePassAndShowsItComplete) {
    Drop("/pics/a.gif");  // adds no row but enables the start button
    EXPECT_THAT(Run(), ElementsAre(Pass{100, "100 %"}));
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].source, "");
    EXPECT_EQ(calls[0].destination, kAuto);
    EXPECT_EQ(Caption(c::kMainWindow), "Tolvane");
    EXPECT_THAT(runtime.shellOpened, ElementsAre(kAuto));
}

struct DestinationCase {
    const char* name;
    std::string folder;
    std::string destination;
};

void PrintTo(const DestinationCase& value, std::ostream* out) {
    *out << value.name;
}

class DestinationTest : public HandlersTest, public testing::WithParamInterface<DestinationCase> {};

TEST_P(DestinationTest, JoinsFolderAndNameWithOneSeparator) {
    Drop("/pics/a.jpg");
    runtime.At(c::kFolderLabel).caption = GetParam().folder;
    Run();
    EXPECT_EQ(calls.at(0).destination, GetParam().destination);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DestinationTest,
    testing::Values(DestinationCase{"chosen", "/home/u/out", "/home/u/out/a.jpg"},
                    DestinationCase{"automatic", "/pics/缩小后图/", "/pics/缩小后图/a.jpg"},
                    DestinationCase{"root", "/", "/a.jpg"}, DestinationCase{"empty", "", "a.jpg"}),
    [](const testing::TestParamInfo<DestinationCase>& info) { return info.param.name; });

struct QualityArgumentCase {
    const char* name;
    std::string box;
    int32_t quality;
};

void PrintTo(const QualityArgumentCase& value, std::ostream* out) {
    *out << value.name;
}

class RunQualityTest : public HandlersTest,
                       public testing::WithParamInterface<QualityArgumentCase> {};

TEST_P(RunQualityTest, PassesTheBoxNumberTruncatedTowardZero) {
    Drop("/pics/a.jpg");
    runtime.At(c::kQualityBox).caption = GetParam().box;
    Run();
    EXPECT_EQ(calls.at(0).quality, GetParam().quality);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RunQualityTest,
    testing::Values(QualityArgumentCase{"sixty", "60", 60},
                    QualityArgumentCase{"fraction", "60.9", 60},
                    QualityArgumentCase{"negative_fraction", "-0.5", 0},
                    QualityArgumentCase{"just_above_100", "100.00000005", 100},
                    QualityArgumentCase{"empty", "", 0}, QualityArgumentCase{"letters", "abc", 0},
                    QualityArgumentCase{"full_width", "\xEF\xBC\x97\xEF\xBC\x95", 75}),
    [](const testing::TestParamInfo<QualityArgumentCase>& info) { return info.param.name; });

TEST_F(HandlersTest, RunReadsQualityAndFolderAfreshForEveryFile) {
    Drop("/pics/a.jpg\r\n/pics/b.jpg\r\n");
    runtime.onPump = [&] {
        if (calls.size() == 1) {
            Type("90");
            runtime.folderAnswers.push_back("/home/u/out");
            Click(c::kChooseButton);
        }
    };
    Click(c::kStartButton);
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].quality, 60);
    EXPECT_EQ(calls[1].quality, 90);
    EXPECT_EQ(calls[1].destination, "/home/u/out/b.jpg");
    EXPECT_THAT(runtime.shellOpened, ElementsAre("/home/u/out"));
}

TEST_F(HandlersTest, ClearDuringARunLeavesTheRemainingPassesEmpty) {
    Drop("/pics/a.jpg\r\n/pics/b.jpg\r\n/pics/c.jpg\r\n");
    runtime.onPump = [&] {
        if (calls.size() == 1) {
            Click(c::kClearButton);
        }
    };
    Click(c::kStartButton);
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[1].source, "");
    EXPECT_EQ(calls[3].source, "");
    // The folder was emptied with the list, and the run ends on it.
    EXPECT_THAT(runtime.shellOpened, ElementsAre(""));
}

TEST_F(HandlersTest, DropDuringARunJoinsTheListButNotTheRun) {
    Drop("/pics/a.jpg\r\n/pics/b.jpg\r\n");
    runtime.onPump = [&] {
        if (calls.size() == 1) {
            runtime.At(c::kFolderLabel).caption = "/elsewhere/";
            Drop("/new/c.jpg");
        }
    };
    Click(c::kStartButton);
    EXPECT_EQ(calls.size(), 3u);  // two rows and the extra pass, as counted at the start
    EXPECT_EQ(runtime.Rows(c::kFileList).size(), 3u);
    // The drop set the automatic folder again, which the next file uses.
    EXPECT_EQ(calls[1].destination, "/pics/缩小后图/b.jpg");
}

TEST_F(HandlersTest, ClosingTheWindowEndsTheRunAfterTheCurrentFile) {
    Drop("/pics/a.jpg\r\n/pics/b.jpg\r\n/pics/c.jpg\r\n");
    runtime.pumpResult = false;  // the user closed the window during the first file
    runtime.ClearLog();
    Click(c::kStartButton);
    EXPECT_EQ(calls.size(), 1u);
    EXPECT_TRUE(runtime.shellOpened.empty());
    // After the pump nothing touched the window.
    EXPECT_EQ(runtime.Log().back(), "PumpPendingMessages");
}

TEST_F(HandlersTest, SecondRunStartedDuringARunCompletesWithinIt) {
    Drop("/pics/a.jpg");
    bool nested = false;
    runtime.onPump = [&] {
        if (!nested) {
            nested = true;
            Click(c::kStartButton);
        }
    };
    Click(c::kStartButton);
    std::vector<std::string> sources;
    for (const Call& call : calls) {
        sources.push_back(call.source);
    }
    // The inner run's two passes come between the outer run's two.
    EXPECT_THAT(sources, ElementsAreArray({"/pics/a.jpg", "/pics/a.jpg", "", ""}));
    EXPECT_EQ(runtime.shellOpened.size(), 2u);
}

}  // namespace
}  // namespace tolvane::app
