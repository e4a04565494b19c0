// The real window on the offscreen platform: drops, typing, clicks, the
// folder chooser and a conversion of real files, with the file manager
// replaced by a recorder of the URLs it would have been asked to open.
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QGroupBox>
#include <QHeaderView>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>
#include <QWindow>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "controls.h"
#include "engine_bridge.h"
#include "handlers.h"
#include "main_window.h"
#include "runtime/drop_receiver.h"
#include "runtime/folder_chooser.h"
#include "runtime/qt_runtime.h"
#include "support/fixtures.h"
#include "support/test_support.h"
#include "url_recorder.h"
#include "window_test_env.h"

namespace tolvane::app {
namespace {

namespace c = controls;
using testing::ElementsAre;

QString Q(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string S(const QString& text) {
    return text.toUtf8().toStdString();
}

QList<QUrl> FileUrls(const std::vector<std::string>& paths) {
    QList<QUrl> urls;
    for (const std::string& path : paths) {
        urls.append(QUrl::fromLocalFile(Q(path)));
    }
    return urls;
}

class WindowTest : public testing::Test {
  protected:
    WindowTest() : m_runtime(window), m_handlers(m_runtime, ConvertWithEngine) {
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &opened, "Open");
        BindEvents(m_runtime, m_handlers);
        m_runtime.OpenMainWindow();
        window.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
    }

    ~WindowTest() override { QDesktopServices::unsetUrlHandler(QStringLiteral("file")); }

    template <typename Widget>
    Widget* Find(std::string_view name) {
        Widget* widget = window.findChild<Widget*>(Q(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    QTreeWidget* List() { return Find<QTreeWidget>(c::kFileList); }
    QLineEdit* QualityBox() { return Find<QLineEdit>(c::kQualityBox); }
    std::string LabelText(std::string_view name) { return S(Find<QLabel>(name)->text()); }

    // Drags the data over the window to the centre of `onto` and drops it
    // there, the way the window system delivers a drop: to the top-level
    // window, which finds the widget under the point. Returns whether the
    // drop was taken, as a copy.
    bool DropData(const QMimeData& data, QWidget* onto) {
        QWindow* handle = window.windowHandle();
        const QPoint at = onto->mapTo(&window, onto->rect().center());
        const Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction;
        QDragEnterEvent enter(at, actions, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(handle, &enter);
        QDragMoveEvent move(at, actions, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(handle, &move);
        if (!move.isAccepted()) {
            QDragLeaveEvent leave;
            QCoreApplication::sendEvent(handle, &leave);
            return false;
        }
        QDropEvent drop(QPointF(at), actions, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(handle, &drop);
        return drop.isAccepted() && drop.dropAction() == Qt::CopyAction;
    }

    bool DropFiles(const std::vector<std::string>& paths, QWidget* onto = nullptr) {
        QMimeData data;
        data.setUrls(FileUrls(paths));
        return DropData(data, onto != nullptr ? onto : List()->viewport());
    }

    std::vector<std::string> ListedPaths() {
        std::vector<std::string> paths;
        for (int row = 0; row < List()->topLevelItemCount(); ++row) {
            paths.push_back(S(List()->topLevelItem(row)->text(c::kPathColumn)));
        }
        return paths;
    }

    void Click(std::string_view button) {
        QTest::mouseClick(Find<QPushButton>(button), Qt::LeftButton);
    }

    // Clicks the choose button and, once the chooser is up, lets `drive`
    // work it; returns the chooser's title.
    template <typename Drive>
    void ChooseWith(Drive drive) {
        bool driven = false;
        std::function<void()> poll;
        poll = [&] {
            auto* chooser = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (chooser == nullptr) {
                QTimer::singleShot(0, poll);
                return;
            }
            driven = true;
            drive(*chooser);
        };
        QTimer::singleShot(0, poll);
        Click(c::kChooseButton);
        EXPECT_TRUE(driven);
    }

    test::UrlRecorder opened;
    MainWindow window;
    test::ScopedTempDir folder;

  private:
    runtime::QtRuntime m_runtime;
    Handlers m_handlers;
};

// ---- The window as it opens ----

struct ControlCase {
    const char* name;
    const char* kind;
    const char* parent;
    QRect geometry;
    const char* text;
};

TEST_F(WindowTest, ControlsStandAsTheWindowDescriptionGivesThem) {
    const ControlCase cases[] = {
        {"超级列表框1", "QTreeWidget", "主窗口", {8, 8, 208, 336}, ""},
        {"标签2",
         "QLabel",
         "主窗口",
         {32, 160, 160, 40},
         "请将图片拖入此处\r\n\r\n暂只支持jpg/png格式图片"},
        {"拖放对象1", "tolvane::runtime::DropReceiver", "主窗口", {16, 24, 40, 32}, ""},
        {"分组框1", "QGroupBox", "主窗口", {240, 24, 216, 96}, "Step1：图片质量"},
        {"标签1", "QLabel", "分组框1", {13, 16, 112, 32}, "图片质量（0-100）："},
        {"编辑框1", "QLineEdit", "分组框1", {136, 24, 72, 24}, "60"},
        {"标签3", "QLabel", "分组框1", {8, 61, 192, 24}, "质量越高，文件越大。建议60"},
        {"分组框2", "QGroupBox", "主窗口", {240, 152, 216, 96}, "Step2：保存路径"},
        {"标签4", "QLabel", "分组框2", {8, 24, 200, 40}, ""},
        {"标签6", "QLabel", "分组框2", {8, 67, 120, 24}, "自动获取，也可手动"},
        {"按钮1", "QPushButton", "分组框2", {136, 66, 72, 24}, "手动选择"},
        {"按钮2", "QPushButton", "主窗口", {240, 280, 72, 48}, "清空"},
        {"按钮3", "QPushButton", "主窗口", {328, 280, 128, 48}, "开始转换"},
        {"进度条1", "QProgressBar", "主窗口", {13, 352, 403, 13}, ""},
        {"标签5", "QLabel", "主窗口", {429, 351, 42, 16}, "0.00 %"},
    };
    for (const ControlCase& expected : cases) {
        SCOPED_TRACE(expected.name);
        QWidget* widget = Find<QWidget>(expected.name);
        ASSERT_NE(widget, nullptr);
        EXPECT_STREQ(widget->metaObject()->className(), expected.kind);
        EXPECT_EQ(widget->parentWidget()->objectName(), QString::fromUtf8(expected.parent));
        EXPECT_EQ(widget->geometry(), expected.geometry);
        QString text;
        if (auto* label = qobject_cast<QLabel*>(widget)) {
            text = label->text();
        } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
            text = edit->text();
        } else if (auto* button = qobject_cast<QPushButton*>(widget)) {
            text = button->text();
        } else if (auto* group = qobject_cast<QGroupBox*>(widget)) {
            text = group->title();
        }
        EXPECT_EQ(S(text), expected.text);
    }
}

TEST_F(WindowTest, OpensFixedSizeCentredWithoutMaximise) {
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Tolvane"));
    EXPECT_EQ(window.size(), QSize(481, 370));
    EXPECT_EQ(window.minimumSize(), QSize(481, 370));
    EXPECT_EQ(window.maximumSize(), QSize(481, 370));
    const Qt::WindowFlags flags = window.windowFlags();
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
    // Centred as far as the frame, which the window system adds, allows.
    const QPoint centre = window.screen()->availableGeometry().center();
    const QSize frame = window.frameGeometry().size() - window.size();
    const QPoint offset = window.geometry().center() - centre;
    EXPECT_LE(std::abs(offset.x()), frame.width() / 2 + 1);
    EXPECT_LE(std::abs(offset.y()), frame.height() / 2 + 1);
}

TEST_F(WindowTest, StartsEmptyWithTheStartButtonDisabled) {
    EXPECT_EQ(List()->topLevelItemCount(), 0);
    EXPECT_TRUE(Find<QLabel>(c::kHintLabel)->isVisible());
    EXPECT_FALSE(Find<QPushButton>(c::kStartButton)->isEnabled());
    EXPECT_EQ(Find<QProgressBar>(c::kProgressBar)->value(), 0);
    EXPECT_EQ(LabelText(c::kFolderLabel), "");
    // Clicking it does nothing: no run, nothing opened.
    Click(c::kStartButton);
    EXPECT_EQ(LabelText(c::kPercentLabel), "0.00 %");
    EXPECT_TRUE(opened.urls.empty());
}

TEST_F(WindowTest, FileListIsATwoColumnReportThatNeitherSortsNorEdits) {
    QTreeWidget* list = List();
    ASSERT_EQ(list->columnCount(), 2);
    EXPECT_EQ(list->headerItem()->text(0), QStringLiteral("文件名"));
    EXPECT_EQ(list->headerItem()->text(1), QStringLiteral("路径"));
    EXPECT_EQ(list->columnWidth(0), 100);
    EXPECT_EQ(list->columnWidth(1), 500);
    EXPECT_FALSE(list->rootIsDecorated());
    EXPECT_FALSE(list->isSortingEnabled());
    EXPECT_EQ(list->selectionMode(), QAbstractItemView::SingleSelection);
    EXPECT_EQ(list->editTriggers(), QAbstractItemView::NoEditTriggers);
}

TEST_F(WindowTest, HintLiesWhiteInFrontOfTheListAndNotesAreGreen) {
    auto* hint = Find<QLabel>(c::kHintLabel);
    EXPECT_GT(window.children().indexOf(hint), window.children().indexOf(List()));
    EXPECT_TRUE(hint->autoFillBackground());
    EXPECT_EQ(hint->palette().color(QPalette::Window), QColor(Qt::white));
    for (const char* note : {"标签3", "标签6"}) {
        EXPECT_EQ(Find<QLabel>(note)->palette().color(QPalette::WindowText), QColor(0, 128, 0))
            << note;
    }
}

// ---- Drops ----

TEST_F(WindowTest, DroppedPicturesAreListedWithTheAutomaticFolder) {
    const std::vector<std::string> dropped = {folder.File("a.jpg"), folder.File("b.png"),
                                              folder.File("c.gif")};
    ASSERT_TRUE(DropFiles(dropped));
    EXPECT_THAT(ListedPaths(), ElementsAre(dropped[0], dropped[1]));
    EXPECT_EQ(S(List()->topLevelItem(1)->text(c::kNameColumn)), "b.png");
    EXPECT_EQ(LabelText(c::kFolderLabel), folder.Path() + "/缩小后图/");
    EXPECT_FALSE(Find<QLabel>(c::kHintLabel)->isVisible());
    EXPECT_TRUE(Find<QPushButton>(c::kStartButton)->isEnabled());
}

TEST_F(WindowTest, OneDroppedFileComesAsTheBarePath) {
    ASSERT_TRUE(DropFiles({folder.File("只有一个.jpg")}));
    EXPECT_THAT(ListedPaths(), ElementsAre(folder.File("只有一个.jpg")));
}

TEST_F(WindowTest, DropOntoTheHintLabelReachesTheList) {
    ASSERT_TRUE(DropFiles({folder.File("a.jpg")}, Find<QLabel>(c::kHintLabel)));
    EXPECT_THAT(ListedPaths(), ElementsAre(folder.File("a.jpg")));
}

TEST_F(WindowTest, DropsOfAnythingButLocalFilesAreRefused) {
    QMimeData text;
    text.setText(Q(folder.File("a.jpg")));
    EXPECT_FALSE(DropData(text, List()->viewport()));

    QMimeData link;
    link.setUrls({QUrl(QStringLiteral("https://example.org/a.jpg"))});
    EXPECT_FALSE(DropData(link, List()->viewport()));

    QMimeData mixed;
    mixed.setUrls({QUrl::fromLocalFile(Q(folder.File("a.jpg"))),
                   QUrl(QStringLiteral("https://example.org/b.jpg"))});
    EXPECT_FALSE(DropData(mixed, List()->viewport()));

    EXPECT_EQ(List()->topLevelItemCount(), 0);
    EXPECT_TRUE(Find<QLabel>(c::kHintLabel)->isVisible());
}

TEST_F(WindowTest, DropsElsewhereInTheWindowAreRefused) {
    EXPECT_FALSE(DropFiles({folder.File("a.jpg")}, Find<QPushButton>(c::kClearButton)));
    EXPECT_EQ(List()->topLevelItemCount(), 0);
}

// ---- Quality box ----

struct TypingCase {
    const char* keys;
    const char* whileTyping;
    const char* afterLeaving;
};

TEST_F(WindowTest, QualityBoxTakesOnlyIntegerKeysAndNormalisesOnLeaving) {
    const TypingCase cases[] = {
        {"-3", "0", ""},         // below 0 becomes "0" at once, then 0 shows empty
        {"250", "100", "100"},   // clamped with the third digit
        {"a1b2 .", "12", "12"},  // letters, space and point are not typed
        {"45-", "45-", "45"},    // "-" is typed, the leading integer stays
        {"0", "0", ""},          // 0 shows as an empty box
    };
    QLineEdit* box = QualityBox();
    for (const TypingCase& expected : cases) {
        SCOPED_TRACE(expected.keys);
        box->setFocus();
        ASSERT_TRUE(box->hasFocus());
        box->selectAll();
        QTest::keyClick(box, Qt::Key_Backspace);
        QTest::keyClicks(box, QString::fromUtf8(expected.keys));
        EXPECT_EQ(S(box->text()), expected.whileTyping);
        QTest::keyClick(box, Qt::Key_Tab);
        ASSERT_FALSE(box->hasFocus());
        EXPECT_EQ(S(box->text()), expected.afterLeaving);
    }
}

TEST_F(WindowTest, ControlKeysWorkInTheQualityBox) {
    QLineEdit* box = QualityBox();
    box->setFocus();
    box->end(false);
    QTest::keyClick(box, Qt::Key_Backspace);
    EXPECT_EQ(S(box->text()), "6");
    QTest::keyClick(box, Qt::Key_Home);
    QTest::keyClicks(box, QStringLiteral("9"));
    EXPECT_EQ(S(box->text()), "96");
}

TEST_F(WindowTest, InputMethodTextIsFilteredLikeTyping) {
    QLineEdit* box = QualityBox();
    box->setFocus();
    box->clear();
    // Full-width digits from a Chinese input method are no digits to type.
    QInputMethodEvent commit;
    commit.setCommitString(QStringLiteral("a５1b-"));
    QCoreApplication::sendEvent(box, &commit);
    EXPECT_EQ(S(box->text()), "1-");
}

struct PasteCase {
    const char* pasted;
    const char* shown;
    const char* afterLeaving;
};

// A file manager sends a file drop with its path as text too; the quality
// box must not take it as typing.
TEST_F(WindowTest, FilesDroppedOnTheQualityBoxAreRefused) {
    QMimeData data;
    data.setUrls(FileUrls({"/tmp/a.jpg"}));
    data.setText(QStringLiteral("/tmp/a.jpg"));
    EXPECT_FALSE(DropData(data, QualityBox()));
    EXPECT_EQ(S(QualityBox()->text()), "60");
    EXPECT_EQ(List()->topLevelItemCount(), 0);
}

TEST_F(WindowTest, PastedTextIsNotFilteredButClamped) {
    const PasteCase cases[] = {
        {"abc", "abc", ""},                       // its number is 0
        {"1e3", "100", "100"},                    // its number is 1000
        {"100.00000005", "100.00000005", "100"},  // within the clamp's tolerance
        {"６０", "６０", ""},                     // no leading ASCII integer
    };
    QLineEdit* box = QualityBox();
    for (const PasteCase& expected : cases) {
        SCOPED_TRACE(expected.pasted);
        box->setFocus();
        box->selectAll();
        QApplication::clipboard()->setText(QString::fromUtf8(expected.pasted));
        QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
        EXPECT_EQ(S(box->text()), expected.shown);
        QTest::keyClick(box, Qt::Key_Tab);
        EXPECT_EQ(S(box->text()), expected.afterLeaving);
    }
}

// ---- Choose and clear ----

TEST_F(WindowTest, ChooserStartsAtTheDesktopAndListsFiles) {
    ChooseWith([&](QFileDialog& chooser) {
        EXPECT_EQ(S(chooser.windowTitle()), "保存路径");
        EXPECT_EQ(chooser.fileMode(), QFileDialog::Directory);
        EXPECT_FALSE(chooser.testOption(QFileDialog::ShowDirsOnly));
        EXPECT_TRUE(chooser.isModal());
        EXPECT_EQ(S(chooser.directory().absolutePath()), test::TestDesktop());
        EXPECT_NE(chooser.findChild<QLineEdit*>(QStringLiteral("fileNameEdit")), nullptr);
        chooser.reject();
    });
}

TEST_F(WindowTest, TypedFolderBecomesTheOutputFolderWithoutTrailingSlash) {
    std::filesystem::create_directory(folder.File("out"));
    ChooseWith([&](QFileDialog& chooser) {
        auto* path = chooser.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(path, nullptr);
        path->setText(Q(folder.File("out") + "/"));
        QTest::keyClick(path, Qt::Key_Return);
    });
    EXPECT_EQ(LabelText(c::kFolderLabel), folder.File("out"));
}

TEST_F(WindowTest, CancelledChoiceKeepsTheFolder) {
    ASSERT_TRUE(DropFiles({folder.File("a.jpg")}));
    ChooseWith([](QFileDialog& chooser) { QTest::keyClick(&chooser, Qt::Key_Escape); });
    EXPECT_EQ(LabelText(c::kFolderLabel), folder.Path() + "/缩小后图/");
}

TEST_F(WindowTest, ChosenFileIsTakenAsTheFolder) {
    test::WriteFileBytes(folder.File("notes.txt"), {'x'});
    ChooseWith([&](QFileDialog& chooser) {
        auto* path = chooser.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(path, nullptr);
        path->setText(Q(folder.File("notes.txt")));
        QTest::keyClick(path, Qt::Key_Return);
    });
    EXPECT_EQ(LabelText(c::kFolderLabel), folder.File("notes.txt"));
}

TEST_F(WindowTest, ClearEmptiesTheListButKeepsThePercentLabel) {
    ASSERT_TRUE(DropFiles({folder.File("a.jpg"), folder.File("b.png")}));
    Find<QLabel>(c::kPercentLabel)->setText(QStringLiteral("100 %"));
    Find<QProgressBar>(c::kProgressBar)->setValue(100);
    Click(c::kClearButton);
    EXPECT_EQ(List()->topLevelItemCount(), 0);
    EXPECT_TRUE(Find<QLabel>(c::kHintLabel)->isVisible());
    EXPECT_EQ(LabelText(c::kFolderLabel), "");
    EXPECT_EQ(Find<QProgressBar>(c::kProgressBar)->value(), 0);
    EXPECT_FALSE(Find<QPushButton>(c::kStartButton)->isEnabled());
    EXPECT_EQ(LabelText(c::kPercentLabel), "100 %");
}

// ---- Conversion ----

class ConversionTest : public WindowTest {
  protected:
    ConversionTest() {
        test::WriteJpeg(folder.File("a.jpg"), test::MakePattern(64, 48, 3));
        test::PngFixture png;
        png.width = 32;
        png.height = 16;
        png.colorType = 2;  // RGB
        const test::Picture pattern = test::MakePattern(32, 16, 3);
        png.samples = pattern.samples;
        test::WritePng(folder.File("b.png"), png);
    }

    std::string Output(const std::string& name) { return folder.Path() + "/缩小后图/" + name; }

    test::PrivateTempFolder scratch;
};

TEST_F(ConversionTest, RunWritesJpegsIntoTheAutomaticFolderAndOpensIt) {
    const std::vector<uint8_t> jpegBefore = test::ReadFileBytes(folder.File("a.jpg"));
    const std::vector<uint8_t> pngBefore = test::ReadFileBytes(folder.File("b.png"));
    ASSERT_TRUE(DropFiles({folder.File("a.jpg"), folder.File("gone.jpg"), folder.File("b.png")}));

    Click(c::kStartButton);

    const test::Picture a = test::ReadJpeg(Output("a.jpg"));
    EXPECT_EQ(a.width, 64);
    EXPECT_EQ(a.height, 48);
    // The PNG keeps its name and holds JPEG data.
    const test::Picture b = test::ReadJpeg(Output("b.png"));
    EXPECT_EQ(b.width, 32);
    EXPECT_EQ(b.height, 16);
    // A missing file yields nothing, and the run goes on past it.
    EXPECT_FALSE(test::PathExists(Output("gone.jpg")));
    EXPECT_THAT(test::ListFolder(folder.Path() + "/缩小后图"), ElementsAre("a.jpg", "b.png"));

    EXPECT_EQ(test::ReadFileBytes(folder.File("a.jpg")), jpegBefore);
    EXPECT_EQ(test::ReadFileBytes(folder.File("b.png")), pngBefore);
    EXPECT_EQ(Find<QProgressBar>(c::kProgressBar)->value(), 100);
    EXPECT_EQ(LabelText(c::kPercentLabel), "100 %");
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Tolvane"));
    EXPECT_THAT(opened.urls, ElementsAre(QUrl::fromLocalFile(Q(Output("")))));
}

TEST_F(ConversionTest, RunUsesTheQualityInTheBox) {
    ASSERT_TRUE(DropFiles({folder.File("a.jpg")}));
    Click(c::kStartButton);
    // libjpeg scales its base tables by 200 - 2q percent: 16 * 80 % rounds to 13.
    EXPECT_EQ(test::ReadJpegInfo(Output("a.jpg")).luminanceQuant[0], 13);

    QLineEdit* box = QualityBox();
    box->setFocus();
    box->selectAll();
    QTest::keyClicks(box, QStringLiteral("90"));
    Click(c::kStartButton);
    EXPECT_EQ(test::ReadJpegInfo(Output("a.jpg")).luminanceQuant[0], 3);  // 16 * 20 %
}

TEST_F(ConversionTest, EmptyQualityConvertsNothing) {
    ASSERT_TRUE(DropFiles({folder.File("a.jpg")}));
    QualityBox()->clear();
    Click(c::kStartButton);
    EXPECT_TRUE(test::ListFolder(folder.Path() + "/缩小后图").empty());
    EXPECT_EQ(opened.urls.size(), 1u);
}

// Choosing the pictures' own folder shrinks them in place: each file is
// replaced by its JPEG, and only once that JPEG is complete.
TEST_F(ConversionTest, RunIntoThePicturesOwnFolderReplacesThemWithTheirJpeg) {
    ASSERT_TRUE(DropFiles({folder.File("b.png")}));
    ChooseWith([&](QFileDialog& chooser) {
        auto* path = chooser.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(path, nullptr);
        path->setText(Q(folder.Path()));
        QTest::keyClick(path, Qt::Key_Return);
    });
    ASSERT_EQ(LabelText(c::kFolderLabel), folder.Path());
    Click(c::kStartButton);
    const test::JpegInfo info = test::ReadJpegInfo(folder.File("b.png"));
    EXPECT_GT(info.width, 0);
}

TEST_F(ConversionTest, ClosingDuringARunEndsItAfterTheCurrentFile) {
    test::WriteJpeg(folder.File("c.jpg"), test::MakePattern(16, 16, 3));
    ASSERT_TRUE(DropFiles({folder.File("a.jpg"), folder.File("b.png"), folder.File("c.jpg")}));
    // Once the loop runs: the close request waits in the queue while the
    // first file converts, as the user's click on the close box would.
    QTimer::singleShot(0, [&] {
        QMetaObject::invokeMethod(&window, &QWidget::close, Qt::QueuedConnection);
        Click(c::kStartButton);
    });
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_THAT(test::ListFolder(folder.Path() + "/缩小后图"), ElementsAre("a.jpg"));
    EXPECT_TRUE(opened.urls.empty());
    EXPECT_FALSE(window.isVisible());
}

}  // namespace
}  // namespace tolvane::app
