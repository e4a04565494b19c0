#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "runtime/runtime.h"

namespace tolvane::app {

// The conversion call of one file: ConvertImage's arguments with the paths as
// UTF-8 texts. Returns ConvertImage's result code, which the run ignores.
using Converter =
    std::function<int32_t(const std::string& source, const std::string& destination,
                          int32_t grayscale, int32_t quality, int32_t optimize, int32_t smoothing)>;

// The handlers of the window's events. They keep no state of their own: the
// file list, the quality and the output folder live in the controls and are
// read back through the runtime whenever they are needed.
class Handlers {
  public:
    Handlers(runtime::Runtime& runtime, Converter convert);

    // The main window exists: the file list becomes the drop window.
    void WindowCreated();
    // Lists the dropped JPG and PNG files and sets the automatic output folder.
    void FilesDropped(std::string_view text);
    // Keeps the quality box's number within 0..100.
    void QualityChanged();
    void ChooseFolderClicked();
    void ClearClicked();
    // Converts every listed file into the output folder, showing progress.
    void StartClicked();

  private:
    runtime::Runtime& m_runtime;
    Converter m_convert;
};

// Connects the controls' events to the handlers.
void BindEvents(runtime::Runtime& runtime, Handlers& handlers);

}  // namespace tolvane::app
