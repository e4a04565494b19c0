#include "recording_runtime.h"

#include <algorithm>

namespace tolvane::test {

namespace {

using runtime::Event;
using runtime::Property;
using runtime::Value;

constexpr int32_t kColumns = 2;

const char* PropertyName(Property property) {
    switch (property) {
        case Property::Caption:
            return "Caption";
        case Property::Visible:
            return "Visible";
        case Property::Disabled:
            return "Disabled";
        case Property::Position:
            return "Position";
    }
    return "?";
}

std::string ValueText(const Value& value) {
    if (const auto* text = std::get_if<std::string>(&value)) {
        return "\"" + *text + "\"";
    }
    if (const auto* flag = std::get_if<bool>(&value)) {
        return *flag ? "true" : "false";
    }
    return std::to_string(std::get<int32_t>(value));
}

}  // namespace

std::string SetLine(std::string_view control, Property property, const Value& value) {
    return "Set " + std::string(control) + " " + PropertyName(property) + " " + ValueText(value);
}

RecordingRuntime::Control& RecordingRuntime::At(std::string_view control) {
    auto found = m_controls.find(control);
    if (found == m_controls.end()) {
        found = m_controls.emplace(std::string(control), Control{}).first;
    }
    return found->second;
}

std::vector<std::array<std::string, 2>>& RecordingRuntime::Rows(std::string_view list) {
    auto found = m_lists.find(list);
    if (found == m_lists.end()) {
        found = m_lists.emplace(std::string(list), std::vector<std::array<std::string, 2>>{}).first;
    }
    return found->second;
}

void RecordingRuntime::Raise(std::string_view control, Event event, std::string_view text) {
    const auto found = m_handlers.find(EventKey(std::string(control), event));
    if (found == m_handlers.end()) {
        return;
    }
    // Copied: a handler may bind more handlers while it runs.
    const std::vector<runtime::EventHandler> handlers = found->second;
    for (const runtime::EventHandler& handler : handlers) {
        handler(text);
    }
}

Value RecordingRuntime::GetProperty(std::string_view control, Property property) {
    m_log.push_back("Get " + std::string(control) + " " + PropertyName(property));
    const Control& state = At(control);
    switch (property) {
        case Property::Caption:
            return state.caption;
        case Property::Visible:
            return state.visible;
        case Property::Disabled:
            return state.disabled;
        case Property::Position:
            return state.position;
    }
    return std::string();
}

void RecordingRuntime::SetProperty(std::string_view control, Property property,
                                   const Value& value) {
    m_log.push_back(SetLine(control, property, value));
    Control& state = At(control);
    switch (property) {
        case Property::Caption:
            if (const auto* text = std::get_if<std::string>(&value)) {
                const bool changed = state.caption != *text;
                state.caption = *text;
                if (changed) {
                    Raise(control, Event::TextChanged);
                }
            }
            break;
        case Property::Visible:
            if (const auto* flag = std::get_if<bool>(&value)) {
                state.visible = *flag;
            }
            break;
        case Property::Disabled:
            if (const auto* flag = std::get_if<bool>(&value)) {
                state.disabled = *flag;
            }
            break;
        case Property::Position:
            if (const auto* position = std::get_if<int32_t>(&value)) {
                state.position = std::clamp(*position, 0, 100);
            }
            break;
    }
}

int32_t RecordingRuntime::ListRowCount(std::string_view list) {
    m_log.push_back("ListRowCount " + std::string(list));
    return static_cast<int32_t>(Rows(list).size());
}

void RecordingRuntime::ListAppendRow(std::string_view list) {
    m_log.push_back("ListAppendRow " + std::string(list));
    Rows(list).emplace_back();
}

void RecordingRuntime::ListSetCell(std::string_view list, int32_t row, int32_t column,
                                   std::string_view text) {
    m_log.push_back("ListSetCell " + std::string(list) + " " + std::to_string(row) + " " +
                    std::to_string(column) + " \"" + std::string(text) + "\"");
    auto& rows = Rows(list);
    if (row >= 0 && static_cast<size_t>(row) < rows.size() && column >= 0 && column < kColumns) {
        rows[static_cast<size_t>(row)][static_cast<size_t>(column)] = std::string(text);
    }
}

std::string RecordingRuntime::ListGetCell(std::string_view list, int32_t row, int32_t column) {
    m_log.push_back("ListGetCell " + std::string(list) + " " + std::to_string(row) + " " +
                    std::to_string(column));
    const auto& rows = Rows(list);
    if (row < 0 || static_cast<size_t>(row) >= rows.size() || column < 0 || column >= kColumns) {
        return {};
    }
    return rows[static_cast<size_t>(row)][static_cast<size_t>(column)];
}

void RecordingRuntime::ListClear(std::string_view list) {
    m_log.push_back("ListClear " + std::string(list));
    Rows(list).clear();
}

runtime::NativeWindow RecordingRuntime::NativeHandle(std::string_view control) {
    m_log.push_back("NativeHandle " + std::string(control));
    const auto found = std::find(m_handleNames.begin(), m_handleNames.end(), control);
    if (found != m_handleNames.end()) {
        return static_cast<runtime::NativeWindow>(found - m_handleNames.begin()) + 1;
    }
    m_handleNames.emplace_back(control);
    return m_handleNames.size();
}

bool RecordingRuntime::RegisterDropWindow(std::string_view receiver, runtime::NativeWindow window) {
    m_log.push_back("RegisterDropWindow " + std::string(receiver) + " " + std::to_string(window));
    if (window == 0 || window > m_handleNames.size() || dropWindows.count(receiver) != 0) {
        return false;
    }
    dropWindows.emplace(std::string(receiver), window);
    return true;
}

std::string RecordingRuntime::ChooseFolder(std::string_view title, bool includeFiles) {
    m_log.push_back("ChooseFolder \"" + std::string(title) + "\" " +
                    (includeFiles ? "with files" : "folders only"));
    if (folderAnswers.empty()) {
        return {};
    }
    std::string answer = folderAnswers.front();
    folderAnswers.pop_front();
    return answer;
}

void RecordingRuntime::ShellOpen(std::string_view path) {
    m_log.push_back("ShellOpen \"" + std::string(path) + "\"");
    shellOpened.emplace_back(path);
}

bool RecordingRuntime::PumpPendingMessages() {
    m_log.push_back("PumpPendingMessages");
    if (onPump) {
        onPump();
    }
    return pumpResult;
}

bool RecordingRuntime::CreateFolder(std::string_view path) {
    m_log.push_back("CreateFolder \"" + std::string(path) + "\"");
    return createFolderResult;
}

void RecordingRuntime::Bind(std::string_view control, Event event, runtime::EventHandler handler) {
    m_handlers[EventKey(std::string(control), event)].push_back(std::move(handler));
}

}  // namespace tolvane::test
