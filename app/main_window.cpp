#include "main_window.h"

#include <QHeaderView>

#include "ui_main_window.h"

namespace tolvane::app {

namespace {

constexpr int kNameColumnWidth = 100;
constexpr int kPathColumnWidth = 500;

}  // namespace

MainWindow::MainWindow(QWidget* parent)
    : QWidget(parent), m_ui(std::make_unique<Ui::MainWindow>()) {
    m_ui->setupUi(this);
    // A fixed frame: title bar, system menu, minimise and close, no maximise.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    // Designer gives a header one default width for every column; the path
    // column is wider than the list so that the list scrolls sideways.
    m_ui->超级列表框1->setColumnWidth(0, kNameColumnWidth);
    m_ui->超级列表框1->setColumnWidth(1, kPathColumnWidth);
    m_ui->超级列表框1->header()->setSectionsClickable(true);
    m_ui->超级列表框1->header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // The hint lies over the list, in front of it. Its line breaks are CR LF
    // pairs, which the window description cannot keep (XML turns them into
    // LF), so the text is set here.
    m_ui->标签2->setText(QStringLiteral("请将图片拖入此处\r\n\r\n暂只支持jpg/png格式图片"));
    m_ui->标签2->raise();
}

MainWindow::~MainWindow() = default;

}  // namespace tolvane::app
