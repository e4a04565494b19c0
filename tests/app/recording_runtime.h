#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "runtime/runtime.h"

namespace tolvane::test {

// The runtime's contract in memory. Controls come into being when first
// named; a control with TextChanged handlers is an edit box, whose handlers
// run inside SetProperty when its caption changes. Every call that the
// handlers make is written to Log() as one line.
class RecordingRuntime : public runtime::Runtime {
  public:
    struct Control {
        std::string caption;
        bool visible = true;
        bool disabled = false;
        int32_t position = 0;
    };

    // The state of a control, to arrange a test or look at its outcome
    // without going through (and logging) the runtime's operations.
    Control& At(std::string_view control);
    std::vector<std::array<std::string, 2>>& Rows(std::string_view list);

    // Runs the handlers bound to the control's event.
    void Raise(std::string_view control, runtime::Event event, std::string_view text = {});

    const std::vector<std::string>& Log() const { return m_log; }
    void ClearLog() { m_log.clear(); }

    // Answers of ChooseFolder, first in first out; empty text once used up.
    std::deque<std::string> folderAnswers;
    // Runs inside PumpPendingMessages, as the queued input of a real window
    // would; PumpPendingMessages then returns pumpResult.
    std::function<void()> onPump;
    bool pumpResult = true;
    bool createFolderResult = true;
    // The drop window registered for each receiver.
    std::map<std::string, runtime::NativeWindow, std::less<>> dropWindows;
    std::vector<std::string> shellOpened;

    runtime::Value GetProperty(std::string_view control, runtime::Property property) override;
    void SetProperty(std::string_view control, runtime::Property property,
                     const runtime::Value& value) override;
    int32_t ListRowCount(std::string_view list) override;
    void ListAppendRow(std::string_view list) override;
    void ListSetCell(std::string_view list, int32_t row, int32_t column,
                     std::string_view text) override;
    std::string ListGetCell(std::string_view list, int32_t row, int32_t column) override;
    void ListClear(std::string_view list) override;
    runtime::NativeWindow NativeHandle(std::string_view control) override;
    bool RegisterDropWindow(std::string_view receiver, runtime::NativeWindow window) override;
    std::string ChooseFolder(std::string_view title, bool includeFiles) override;
    void ShellOpen(std::string_view path) override;
    bool PumpPendingMessages() override;
    bool CreateFolder(std::string_view path) override;
    void Bind(std::string_view control, runtime::Event event,
              runtime::EventHandler handler) override;

  private:
    using EventKey = std::pair<std::string, runtime::Event>;

    std::map<std::string, Control, std::less<>> m_controls;
    std::map<std::string, std::vector<std::array<std::string, 2>>, std::less<>> m_lists;
    std::map<EventKey, std::vector<runtime::EventHandler>> m_handlers;
    std::vector<std::string> m_handleNames;
    std::vector<std::string> m_log;
};

// One line of the log for a property change, as SetProperty writes it.
std::string SetLine(std::string_view control, runtime::Property property,
                    const runtime::Value& value);

}  // namespace tolvane::test
