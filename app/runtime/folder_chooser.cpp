#include "runtime/folder_chooser.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringList>

namespace tolvane::runtime {

FolderChooser::FolderChooser(QWidget* parent, const QString& title, bool includeFiles)
    : QFileDialog(parent), m_includeFiles(includeFiles) {
    // Qt's own dialog everywhere: the same path field on every desktop, and
    // one that a test can drive.
    setOption(QFileDialog::DontUseNativeDialog, true);
    setFileMode(QFileDialog::Directory);
    setOption(QFileDialog::ShowDirsOnly, !includeFiles);
    setAcceptMode(QFileDialog::AcceptOpen);
    setWindowTitle(title);
    setDirectory(StartFolder());
    setWindowModality(Qt::ApplicationModal);
}

QString FolderChooser::ChosenPath() const {
    if (result() != QDialog::Accepted) {
        return {};
    }
    const QStringList chosen = selectedFiles();
    if (chosen.isEmpty()) {
        return {};
    }
    QString path = chosen.front();
    while (path.size() > 1 && path.endsWith(QLatin1Char('/'))) {
        path.chop(1);
    }
    return path;
}

QString FolderChooser::StartFolder() {
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (!desktop.isEmpty() && QFileInfo(desktop).isDir()) {
        return desktop;
    }
    return QDir::homePath();
}

void FolderChooser::accept() {
    const QStringList chosen = selectedFiles();
    if (m_includeFiles && chosen.size() == 1 && QFileInfo(chosen.front()).isFile()) {
        QDialog::accept();
        return;
    }
    QFileDialog::accept();
}

}  // namespace tolvane::runtime
