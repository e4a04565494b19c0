#pragma once

#include <string_view>

// Object names of the window and its controls, as main_window.ui gives them.
namespace tolvane::app::controls {

inline constexpr std::string_view kMainWindow = "主窗口";
inline constexpr std::string_view kFileList = "超级列表框1";
inline constexpr std::string_view kHintLabel = "标签2";
inline constexpr std::string_view kDropReceiver = "拖放对象1";
inline constexpr std::string_view kQualityBox = "编辑框1";
inline constexpr std::string_view kFolderLabel = "标签4";
inline constexpr std::string_view kPercentLabel = "标签5";
inline constexpr std::string_view kChooseButton = "按钮1";
inline constexpr std::string_view kClearButton = "按钮2";
inline constexpr std::string_view kStartButton = "按钮3";
inline constexpr std::string_view kProgressBar = "进度条1";

// Columns of the file list.
inline constexpr int kNameColumn = 0;
inline constexpr int kPathColumn = 1;

}  // namespace tolvane::app::controls
