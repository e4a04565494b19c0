#pragma once

#include <memory>

#include <QWidget>

namespace Ui {
class MainWindow;
}

namespace tolvane::app {

// The window as main_window.ui describes it. It holds no logic: the runtime
// finds its controls by name and the handlers do the work.
class MainWindow : public QWidget {
  public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

  private:
    std::unique_ptr<Ui::MainWindow> m_ui;
};

}  // namespace tolvane::app
