#pragma once

#include <QFileDialog>
#include <QString>

namespace tolvane::runtime {

// A modal folder chooser that starts at the desktop and has a field for
// typing a path. With files included it lists files too and takes one as
// the answer, which a plain directory dialog refuses.
class FolderChooser : public QFileDialog {
    Q_OBJECT

  public:
    FolderChooser(QWidget* parent, const QString& title, bool includeFiles);

    // The chosen path without a trailing "/" ("/" itself stays); empty
    // before the user has accepted.
    QString ChosenPath() const;

    // The desktop folder, or the home folder on a desktop-less machine.
    static QString StartFolder();

  protected:
    void accept() override;

  private:
    bool m_includeFiles;
};

}  // namespace tolvane::runtime
