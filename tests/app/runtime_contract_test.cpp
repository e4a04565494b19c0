// What the handlers may rely on, checked against both runtimes: the one the
// program uses and the one the handler tests use, so that neither drifts.
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QDesktopServices>
#include <QTimer>

#include <gtest/gtest.h>

#include "controls.h"
#include "main_window.h"
#include "recording_runtime.h"
#include "runtime/qt_runtime.h"
#include "support/test_support.h"
#include "url_recorder.h"

namespace tolvane::runtime {
namespace {

namespace c = app::controls;

struct Subject {
    virtual ~Subject() = default;
    virtual Runtime& Get() = 0;
};

struct QtSubject : Subject {
    app::MainWindow window;
    QtRuntime runtime{window};
    Runtime& Get() override { return runtime; }
};

struct RecordingSubject : Subject {
    test::RecordingRuntime runtime;
    Runtime& Get() override { return runtime; }
};

struct RuntimeKind {
    const char* name;
    std::unique_ptr<Subject> (*make)();
};

void PrintTo(const RuntimeKind& kind, std::ostream* out) {
    *out << kind.name;
}

class RuntimeContractTest : public testing::TestWithParam<RuntimeKind> {
  protected:
    RuntimeContractTest() : m_subject(GetParam().make()), runtime(m_subject->Get()) {}

  private:
    std::unique_ptr<Subject> m_subject;

  protected:
    Runtime& runtime;
};

TEST_P(RuntimeContractTest, ProgressBarClampsItsPosition) {
    for (const auto& [set, shown] : {std::pair{42, 42}, {-5, 0}, {133, 100}, {100, 100}, {0, 0}}) {
        runtime.SetProperty(c::kProgressBar, Property::Position, int32_t{set});
        EXPECT_EQ(std::get<int32_t>(runtime.GetProperty(c::kProgressBar, Property::Position)),
                  shown)
            << set;
    }
}

TEST_P(RuntimeContractTest, CaptionsVisibilityAndDisablingReadBackAsSet) {
    runtime.SetProperty(c::kFolderLabel, Property::Caption, std::string("/图片/缩小后图/"));
    EXPECT_EQ(std::get<std::string>(runtime.GetProperty(c::kFolderLabel, Property::Caption)),
              "/图片/缩小后图/");
    runtime.SetProperty(c::kMainWindow, Property::Caption, std::string("Tolvane --> 处理中..."));
    EXPECT_EQ(std::get<std::string>(runtime.GetProperty(c::kMainWindow, Property::Caption)),
              "Tolvane --> 处理中...");
    runtime.SetProperty(c::kHintLabel, Property::Visible, false);
    EXPECT_FALSE(std::get<bool>(runtime.GetProperty(c::kHintLabel, Property::Visible)));
    runtime.SetProperty(c::kHintLabel, Property::Visible, true);
    EXPECT_TRUE(std::get<bool>(runtime.GetProperty(c::kHintLabel, Property::Visible)));
    runtime.SetProperty(c::kStartButton, Property::Disabled, true);
    EXPECT_TRUE(std::get<bool>(runtime.GetProperty(c::kStartButton, Property::Disabled)));
    runtime.SetProperty(c::kStartButton, Property::Disabled, false);
    EXPECT_FALSE(std::get<bool>(runtime.GetProperty(c::kStartButton, Property::Disabled)));
}

TEST_P(RuntimeContractTest, ListCellsOutsideTheRowsReadEmpty) {
    EXPECT_EQ(runtime.ListRowCount(c::kFileList), 0);
    EXPECT_EQ(runtime.ListGetCell(c::kFileList, 0, 1), "");
    runtime.ListAppendRow(c::kFileList);
    runtime.ListAppendRow(c::kFileList);
    runtime.ListSetCell(c::kFileList, 1, 0, "b.png");
    runtime.ListSetCell(c::kFileList, 1, 1, "/图/b.png");
    runtime.ListSetCell(c::kFileList, 5, 0, "nowhere");
    EXPECT_EQ(runtime.ListRowCount(c::kFileList), 2);
    EXPECT_EQ(runtime.ListGetCell(c::kFileList, 0, 0), "");
    EXPECT_EQ(runtime.ListGetCell(c::kFileList, 1, 0), "b.png");
    EXPECT_EQ(runtime.ListGetCell(c::kFileList, 1, 1), "/图/b.png");
    EXPECT_EQ(runtime.ListGetCell(c::kFileList, 2, 0), "");
    EXPECT_EQ(runtime.ListGetCell(c::kFileList, 1, 2), "");
    EXPECT_EQ(runtime.ListGetCell(c::kFileList, -1, 0), "");
    runtime.ListClear(c::kFileList);
    EXPECT_EQ(runtime.ListRowCount(c::kFileList), 0);
    EXPECT_EQ(runtime.ListGetCell(c::kFileList, 1, 0), "");
}

TEST_P(RuntimeContractTest, SettingTheEditBoxRunsItsHandlerBeforeReturning) {
    std::vector<std::string> seen;
    runtime.Bind(c::kQualityBox, Event::TextChanged, [&](std::string_view) {
        seen.push_back(
            std::get<std::string>(runtime.GetProperty(c::kQualityBox, Property::Caption)));
    });
    runtime.SetProperty(c::kQualityBox, Property::Caption, std::string("250"));
    EXPECT_EQ(seen, std::vector<std::string>{"250"});
    // An unchanged text is no change.
    runtime.SetProperty(c::kQualityBox, Property::Caption, std::string("250"));
    EXPECT_EQ(seen.size(), 1u);
}

TEST_P(RuntimeContractTest, AReceiverServesOneWindowOnly) {
    const NativeWindow list = runtime.NativeHandle(c::kFileList);
    ASSERT_NE(list, 0u);
    EXPECT_FALSE(runtime.RegisterDropWindow(c::kDropReceiver, 0));
    EXPECT_FALSE(runtime.RegisterDropWindow(c::kDropReceiver, list + 0x10000));
    EXPECT_TRUE(runtime.RegisterDropWindow(c::kDropReceiver, list));
    EXPECT_FALSE(runtime.RegisterDropWindow(c::kDropReceiver, list));
}

INSTANTIATE_TEST_SUITE_P(
    Runtimes, RuntimeContractTest,
    testing::Values(RuntimeKind{"Qt", [] { return std::unique_ptr<Subject>(new QtSubject); }},
                    RuntimeKind{"Recording",
                                [] { return std::unique_ptr<Subject>(new RecordingSubject); }}),
    [](const testing::TestParamInfo<RuntimeKind>& info) { return std::string(info.param.name); });

// ---- What only the Qt runtime does ----

class QtRuntimeTest : public testing::Test {
  protected:
    app::MainWindow window;
    QtRuntime runtime{window};
    test::ScopedTempDir folder;
};

TEST_F(QtRuntimeTest, CreateFolderMakesOneLevelOnly) {
    EXPECT_TRUE(runtime.CreateFolder(folder.File("缩小后图/")));
    EXPECT_TRUE(test::PathExists(folder.File("缩小后图")));
    EXPECT_FALSE(runtime.CreateFolder(folder.File("缩小后图")));  // exists already
    EXPECT_FALSE(runtime.CreateFolder(folder.File("missing/child")));
    EXPECT_FALSE(test::PathExists(folder.File("missing")));
    EXPECT_FALSE(runtime.CreateFolder(""));
}

TEST_F(QtRuntimeTest, PumpRunsQueuedWorkUntilTheWindowCloses) {
    window.show();
    int ran = 0;
    // Work that queues more work: all of it runs within one pump.
    QTimer::singleShot(0, [&] {
        ++ran;
        QTimer::singleShot(0, [&] { ++ran; });
    });
    EXPECT_TRUE(runtime.PumpPendingMessages());
    EXPECT_EQ(ran, 2);

    QMetaObject::invokeMethod(&window, &QWidget::close, Qt::QueuedConnection);
    EXPECT_FALSE(runtime.PumpPendingMessages());
    EXPECT_FALSE(runtime.PumpPendingMessages());
}

TEST_F(QtRuntimeTest, ShellOpenHandsTheFolderToTheDesktopOpener) {
    test::UrlRecorder recorder;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &recorder, "Open");
    runtime.ShellOpen("/图片/缩小后图/");
    runtime.ShellOpen("");
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    ASSERT_EQ(recorder.urls.size(), 1u);
    EXPECT_EQ(recorder.urls[0], QUrl::fromLocalFile(QStringLiteral("/图片/缩小后图/")));
}

}  // namespace
}  // namespace tolvane::runtime
