#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <variant>

// The services through which the window's handlers reach the window, its
// controls, the desktop and the file system. Texts are UTF-8; controls are
// named by their object names (see controls.h). Everything runs on the GUI
// thread.
namespace tolvane::runtime {

enum class Property {
    Caption,   // text: a window's title, a label's text, an edit box's content
    Visible,   // bool
    Disabled,  // bool
    Position,  // int32_t: a progress bar's value, clamped into 0..100
};

using Value = std::variant<std::string, bool, int32_t>;

// Opaque identity of a control's on-screen area; 0 names nothing.
using NativeWindow = std::uintptr_t;

enum class Event {
    Created,       // the main window: its controls exist, no input has arrived yet
    Clicked,       // a button
    TextChanged,   // an edit box
    FilesDropped,  // a drop receiver; the handler gets the dropped paths
};

// The text is empty for every event but FilesDropped.
using EventHandler = std::function<void(std::string_view text)>;

class Runtime {
  public:
    virtual ~Runtime() = default;

    // An unknown control or a property the control lacks reads as the
    // property's empty value (empty text, false, 0) and is ignored when set.
    // Setting an edit box's Caption raises its TextChanged handlers before
    // returning whenever the text changes.
    virtual Value GetProperty(std::string_view control, Property property) = 0;
    virtual void SetProperty(std::string_view control, Property property, const Value& value) = 0;

    // A report list with two columns; rows and columns count from 0, and a
    // cell outside the list reads as empty text.
    virtual int32_t ListRowCount(std::string_view list) = 0;
    virtual void ListAppendRow(std::string_view list) = 0;
    virtual void ListSetCell(std::string_view list, int32_t row, int32_t column,
                             std::string_view text) = 0;
    virtual std::string ListGetCell(std::string_view list, int32_t row, int32_t column) = 0;
    virtual void ListClear(std::string_view list) = 0;

    virtual NativeWindow NativeHandle(std::string_view control) = 0;
    // Makes `window` take drops of local files for `receiver`, whose
    // FilesDropped handlers then get one path alone, or each path followed by
    // CR LF. A receiver serves one window: a second registration is refused.
    virtual bool RegisterDropWindow(std::string_view receiver, NativeWindow window) = 0;

    // Modal folder chooser starting at the desktop. Returns the chosen path
    // without a trailing "/" ("/" itself stays), or empty text on cancel.
    // With `includeFiles` the chooser lists files too and a file can be chosen.
    virtual std::string ChooseFolder(std::string_view title, bool includeFiles) = 0;
    // Opens the path in the desktop's file manager; an empty path opens nothing.
    virtual void ShellOpen(std::string_view path) = 0;
    // Runs the queued input and paint events, the handlers they raise
    // included. Returns false once the main window has been closed: the
    // program is ending and the caller must not go on touching the window.
    [[nodiscard]] virtual bool PumpPendingMessages() = 0;
    // One mkdir: true when it made the folder, false when it exists already
    // or its parent is missing.
    virtual bool CreateFolder(std::string_view path) = 0;

    // Appends a handler for the control's event; handlers run in the order
    // they were bound.
    virtual void Bind(std::string_view control, Event event, EventHandler handler) = 0;
};

}  // namespace tolvane::runtime
