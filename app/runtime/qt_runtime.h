#pragma once

#include <vector>

#include <QObject>
#include <QString>

#include "runtime/runtime.h"

class QWidget;

namespace tolvane::runtime {

// The runtime services over Qt Widgets, for one main window and the controls
// inside it, found by their object names.
class QtRuntime final : public QObject, public Runtime {
  public:
    // Line edits whose dynamic property "integerInput" is true become
    // integer-input boxes.
    explicit QtRuntime(QWidget& mainWindow);

    // Raises the main window's Created handlers, then shows the window
    // centred on its screen.
    void OpenMainWindow();

    Value GetProperty(std::string_view control, Property property) override;
    void SetProperty(std::string_view control, Property property, const Value& value) override;

    int32_t ListRowCount(std::string_view list) override;
    void ListAppendRow(std::string_view list) override;
    void ListSetCell(std::string_view list, int32_t row, int32_t column,
                     std::string_view text) override;
    std::string ListGetCell(std::string_view list, int32_t row, int32_t column) override;
    void ListClear(std::string_view list) override;

    NativeWindow NativeHandle(std::string_view control) override;
    bool RegisterDropWindow(std::string_view receiver, NativeWindow window) override;

    std::string ChooseFolder(std::string_view title, bool includeFiles) override;
    void ShellOpen(std::string_view path) override;
    bool PumpPendingMessages() override;
    bool CreateFolder(std::string_view path) override;

    void Bind(std::string_view control, Event event, EventHandler handler) override;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QWidget* Find(std::string_view name) const;
    QWidget* WidgetOf(NativeWindow window) const;

    QWidget& m_window;
    std::vector<EventHandler> m_created;
    bool m_closed = false;
};

}  // namespace tolvane::runtime
