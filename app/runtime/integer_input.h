#pragma once

#include <QObject>

class QLineEdit;

namespace tolvane::runtime {

// Makes a line edit an integer-input box. A typed printable character other
// than a digit or "-" is dropped, from the keyboard or an input method, while
// control keys and pasted text go through; on losing the focus the text becomes its leading
// integer, 0 shown as an empty box. A validator would filter pasted text too, so this is a key
// filter instead.
class IntegerInput : public QObject {
  public:
    // Installs itself on the edit, which owns it.
    explicit IntegerInput(QLineEdit& edit);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QLineEdit& m_edit;
};

}  // namespace tolvane::runtime
