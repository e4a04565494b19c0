#include "runtime/integer_input.h"

#include <QFocusEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>

#include "text_to_number.h"

namespace tolvane::runtime {

namespace {

bool IsIntegerCharacter(QChar c) {
    return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('-');
}

bool TypesForbiddenCharacter(const QKeyEvent& key) {
    // Shortcuts such as Ctrl+V are no typing, whatever text they carry.
    if (key.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) {
        return false;
    }
    const QString text = key.text();
    for (QChar c : text) {
        if (c.isPrint() && !IsIntegerCharacter(c)) {
            return true;
        }
    }
    return false;
}

// What the box shows for a text once it loses the focus.
QString Normalised(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    const int32_t value =
        app::LeadingInteger(std::string_view(utf8.constData(), static_cast<size_t>(utf8.size())));
    return value == 0 ? QString() : QString::number(value);
}

}  // namespace

IntegerInput::IntegerInput(QLineEdit& edit) : QObject(&edit), m_edit(edit) {
    edit.installEventFilter(this);
}

bool IntegerInput::eventFilter(QObject* watched, QEvent* event) {
    if (watched != &m_edit) {
        return false;
    }
    if (event->type() == QEvent::KeyPress) {
        return TypesForbiddenCharacter(*static_cast<QKeyEvent*>(event));
    }
    if (event->type() == QEvent::InputMethod) {
        // What an input method commits is typed too: keep its digits and "-".
        auto* input = static_cast<QInputMethodEvent*>(event);
        QString kept;
        for (QChar ch : input->commitString()) {
            if (!ch.isPrint() || IsIntegerCharacter(ch)) {
                kept.append(ch);
            }
        }
        if (kept != input->commitString()) {
            input->setCommitString(kept, input->replacementStart(), input->replacementLength());
        }
        return false;
    }
    // The box's own context menu takes the focus for a moment; that is no
    // leaving the box.
    if (event->type() == QEvent::FocusOut &&
        static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason) {
        // setText raises textChanged only for a new text, which is what the
        // box's handlers are promised.
        const QString normalised = Normalised(m_edit.text());
        if (normalised != m_edit.text()) {
            m_edit.setText(normalised);
        }
    }
    return false;
}

}  // namespace tolvane::runtime
