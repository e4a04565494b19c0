#include "handlers.h"

#include <array>
#include <charconv>
#include <cmath>
#include <utility>
#include <vector>

#include "controls.h"
#include "text_to_number.h"

namespace tolvane::app {

namespace {

using runtime::Event;
using runtime::Property;
using runtime::Runtime;
using runtime::Value;

constexpr char kSeparator = '/';
constexpr std::string_view kLineBreak = "\r\n";
constexpr std::string_view kAutoFolderName = "缩小后图/";
constexpr std::string_view kChooserTitle = "保存路径";
constexpr std::string_view kIdleCaption = "Tolvane";
constexpr std::string_view kBusyCaption = "Tolvane --> 处理中...";
constexpr std::string_view kPercentSuffix = " %";
constexpr std::array<std::string_view, 4> kListedExtensions = {"JPG", "jpg", "PNG", "png"};

// The clamp leaves a little room on both sides, so a text such as
// "100.00000005" stays as the user typed it.
constexpr double kClampTolerance = 0.0000001;
// Lifts values such as 1.005, stored just below the half, onto it.
constexpr double kRoundingNudge = 0.000000000001;
// "%.13g": at most 13 significant digits, no trailing zeros.
constexpr int kPercentDigits = 13;

// The engine's arguments for the window's conversions.
constexpr int32_t kColour = 0;
constexpr int32_t kOptimizedHuffman = 1;
constexpr int32_t kNoSmoothing = 0;

std::string Text(const Value& value) {
    const auto* text = std::get_if<std::string>(&value);
    return text != nullptr ? *text : std::string();
}

std::string Caption(Runtime& runtime, std::string_view control) {
    return Text(runtime.GetProperty(control, Property::Caption));
}

void SetCaption(Runtime& runtime, std::string_view control, std::string_view text) {
    runtime.SetProperty(control, Property::Caption, std::string(text));
}

// The stretches between CR LF separators; the stretch after the last
// separator counts only when it is not empty.
std::vector<std::string_view> SplitDroppedPaths(std::string_view text) {
    std::vector<std::string_view> pieces;
    size_t start = 0;
    for (size_t at = text.find(kLineBreak); at != std::string_view::npos;
         at = text.find(kLineBreak, start)) {
        pieces.push_back(text.substr(start, at - start));
        start = at + kLineBreak.size();
    }
    if (start < text.size()) {
        pieces.push_back(text.substr(start));
    }
    return pieces;
}

// The part after the last separator; all of it when there is none.
std::string_view FileNameOf(std::string_view path) {
    const size_t at = path.rfind(kSeparator);
    return at == std::string_view::npos ? path : path.substr(at + 1);
}

// Everything up to and including the last separator; empty when there is none.
std::string_view FolderOf(std::string_view path) {
    const size_t at = path.rfind(kSeparator);
    return at == std::string_view::npos ? std::string_view() : path.substr(0, at + 1);
}

// Only the last three bytes count: not the dot, not whether it is a file.
bool HasListedExtension(std::string_view name) {
    if (name.size() < 3) {
        return false;
    }
    const std::string_view extension = name.substr(name.size() - 3);
    for (std::string_view listed : kListedExtensions) {
        if (extension == listed) {
            return true;
        }
    }
    return false;
}

// Half up to two decimals, for the non-negative shares of the percent label.
double RoundToTwoDecimals(double x) {
    if (x == 0.0 || std::isnan(x)) {
        return x;
    }
    const double nudged = x * 100.0 + kRoundingNudge;
    double whole = 0.0;
    const double fraction = std::modf(nudged, &whole);
    return (whole + (fraction >= 0.5 ? 1.0 : 0.0)) / 100.0;
}

std::string FormatNumber(double value) {
    // to_chars writes as "%.13g" does in the C locale, whatever locale Qt set.
    std::array<char, 64> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                      std::chars_format::general, kPercentDigits);
    return std::string(buffer.data(), result.ptr);
}

}  // namespace

Handlers::Handlers(Runtime& runtime, Converter convert)
    : m_runtime(runtime), m_convert(std::move(convert)) {}

void Handlers::WindowCreated() {
    const runtime::NativeWindow list = m_runtime.NativeHandle(controls::kFileList);
    (void)m_runtime.RegisterDropWindow(controls::kDropReceiver, list);
}

void Handlers::FilesDropped(std::string_view text) {
    m_runtime.SetProperty(controls::kHintLabel, Property::Visible, false);
    const std::vector<std::string_view> pieces = SplitDroppedPaths(text);
    m_runtime.SetProperty(controls::kStartButton, Property::Disabled, false);
    m_runtime.SetProperty(controls::kProgressBar, Property::Position, int32_t{0});

    int32_t rows = m_runtime.ListRowCount(controls::kFileList);
    for (std::string_view piece : pieces) {
        const std::string_view name = FileNameOf(piece);
        if (!HasListedExtension(name)) {
            continue;
        }
        m_runtime.ListAppendRow(controls::kFileList);
        ++rows;
        m_runtime.ListSetCell(controls::kFileList, rows - 1, controls::kNameColumn, name);
        m_runtime.ListSetCell(controls::kFileList, rows - 1, controls::kPathColumn, piece);
    }

    // The first row decides, even when it came from an earlier drop.
    const std::string first = m_runtime.ListGetCell(controls::kFileList, 0, controls::kPathColumn);
    SetCaption(m_runtime, controls::kFolderLabel,
               std::string(FolderOf(first)) + std::string(kAutoFolderName));
}

void Handlers::QualityChanged() {
    // Each correction raises this handler again from inside SetProperty; the
    // inner call finds "0" or "100" and leaves it.
    if (TextToNumber(Caption(m_runtime, controls::kQualityBox)) < -kClampTolerance) {
        SetCaption(m_runtime, controls::kQualityBox, "0");
    }
    if (TextToNumber(Caption(m_runtime, controls::kQualityBox)) - 100.0 > kClampTolerance) {
        SetCaption(m_runtime, controls::kQualityBox, "100");
    }
}

void Handlers::ChooseFolderClicked() {
    const std::string path = m_runtime.ChooseFolder(kChooserTitle, true);
    // A cancelled choice keeps the folder: emptying it would send the next
    // run's files into the program's working folder.
    if (!path.empty()) {
        SetCaption(m_runtime, controls::kFolderLabel, path);
    }
}

void Handlers::ClearClicked() {
    m_runtime.ListClear(controls::kFileList);
    m_runtime.SetProperty(controls::kHintLabel, Property::Visible, true);
    SetCaption(m_runtime, controls::kFolderLabel, "");
    m_runtime.SetProperty(controls::kProgressBar, Property::Position, int32_t{0});
    m_runtime.SetProperty(controls::kStartButton, Property::Disabled, true);
}

void Handlers::StartClicked() {
    (void)m_runtime.CreateFolder(Caption(m_runtime, controls::kFolderLabel));
    const int32_t rows = m_runtime.ListRowCount(controls::kFileList);

    // One pass more than there are rows: the last one reads the empty cells
    // past the end and its conversion fails, which brings the label to 100 %.
    for (int64_t k = 0; k <= rows; ++k) {
        const auto row = static_cast<int32_t>(k);
        const std::string source =
            m_runtime.ListGetCell(controls::kFileList, row, controls::kPathColumn);
        const std::string name =
            m_runtime.ListGetCell(controls::kFileList, row, controls::kNameColumn);

        // Folder and quality are read afresh for every file: the user may
        // change them while the run lets input through.
        std::string destination = Caption(m_runtime, controls::kFolderLabel);
        if (!destination.empty() && destination.back() != kSeparator) {
            destination.push_back(kSeparator);
        }
        destination += name;
        const int32_t quality =
            TruncateToInt32(TextToNumber(Caption(m_runtime, controls::kQualityBox)));

        (void)m_convert(source, destination, kColour, quality, kOptimizedHuffman, kNoSmoothing);

        // With no rows the single pass counts as the whole run.
        const double done = rows == 0 ? 100.0 : static_cast<double>(k + 1) / rows * 100.0;
        m_runtime.SetProperty(controls::kProgressBar, Property::Position, TruncateToInt32(done));
        SetCaption(m_runtime, controls::kMainWindow, kBusyCaption);
        // The label counts the passes finished before this one.
        const double share = rows == 0 ? 100.0 : static_cast<double>(k) / rows * 100.0;
        SetCaption(m_runtime, controls::kPercentLabel,
                   FormatNumber(RoundToTwoDecimals(share)) + std::string(kPercentSuffix));

        if (!m_runtime.PumpPendingMessages()) {
            // The window was closed: the program is ending, leave it alone.
            return;
        }
    }

    SetCaption(m_runtime, controls::kMainWindow, kIdleCaption);
    m_runtime.ShellOpen(Caption(m_runtime, controls::kFolderLabel));
}

void BindEvents(Runtime& runtime, Handlers& handlers) {
    runtime.Bind(controls::kMainWindow, Event::Created,
                 [&handlers](std::string_view) { handlers.WindowCreated(); });
    runtime.Bind(controls::kDropReceiver, Event::FilesDropped,
                 [&handlers](std::string_view text) { handlers.FilesDropped(text); });
    runtime.Bind(controls::kQualityBox, Event::TextChanged,
                 [&handlers](std::string_view) { handlers.QualityChanged(); });
    runtime.Bind(controls::kChooseButton, Event::Clicked,
                 [&handlers](std::string_view) { handlers.ChooseFolderClicked(); });
    runtime.Bind(controls::kClearButton, Event::Clicked,
                 [&handlers](std::string_view) { handlers.ClearClicked(); });
    runtime.Bind(controls::kStartButton, Event::Clicked,
                 [&handlers](std::string_view) { handlers.StartClicked(); });
}

}  // namespace tolvane::app
