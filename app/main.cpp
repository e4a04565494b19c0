#include <QApplication>

#include "app_icon.h"
#include "engine_bridge.h"
#include "handlers.h"
#include "main_window.h"
#include "runtime/qt_runtime.h"

int main(int /*argc*/, char** argv) {
    // The program reads no command line: Qt sees only the program's name, so
    // not even Qt's own options (-style, -platform, ...) change the window.
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QApplication application(qtArgc, qtArgv);
    QApplication::setApplicationName(QStringLiteral("Tolvane"));
    QApplication::setApplicationVersion(QStringLiteral(TOLVANE_VERSION));
    // Ties the window to the installed desktop entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("tolvane"));
    QApplication::setWindowIcon(tolvane::app::AppIcon());

    tolvane::app::MainWindow window;
    tolvane::runtime::QtRuntime runtime(window);
    tolvane::app::Handlers handlers(runtime, tolvane::app::ConvertWithEngine);
    tolvane::app::BindEvents(runtime, handlers);
    runtime.OpenMainWindow();
    return QApplication::exec();
}
