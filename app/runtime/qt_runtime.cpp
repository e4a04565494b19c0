#include "runtime/qt_runtime.h"

#include <sys/stat.h>

#include <algorithm>

#include <QAbstractButton>
#include <QAbstractEventDispatcher>
#include <QDesktopServices>
#include <QEvent>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QScreen>
#include <QTreeWidget>
#include <QUrl>
#include <QWidget>

#include "runtime/drop_receiver.h"
#include "runtime/folder_chooser.h"
#include "runtime/integer_input.h"

namespace tolvane::runtime {

namespace {

QString FromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string ToUtf8(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

Value EmptyValue(Property property) {
    switch (property) {
        case Property::Caption:
            return std::string();
        case Property::Visible:
        case Property::Disabled:
            return false;
        case Property::Position:
            return int32_t{0};
    }
    return std::string();
}

QString CaptionOf(const QWidget& widget) {
    if (widget.isWindow()) {
        return widget.windowTitle();
    }
    if (const auto* label = qobject_cast<const QLabel*>(&widget)) {
        return label->text();
    }
    if (const auto* edit = qobject_cast<const QLineEdit*>(&widget)) {
        return edit->text();
    }
    if (const auto* button = qobject_cast<const QAbstractButton*>(&widget)) {
        return button->text();
    }
    if (const auto* group = qobject_cast<const QGroupBox*>(&widget)) {
        return group->title();
    }
    return {};
}

void SetCaptionOf(QWidget& widget, const QString& text) {
    if (widget.isWindow()) {
        widget.setWindowTitle(text);
    } else if (auto* label = qobject_cast<QLabel*>(&widget)) {
        label->setText(text);
    } else if (auto* edit = qobject_cast<QLineEdit*>(&widget)) {
        // textChanged is connected directly, so the box's handlers have run
        // by the time setText returns.
        edit->setText(text);
    } else if (auto* button = qobject_cast<QAbstractButton*>(&widget)) {
        button->setText(text);
    } else if (auto* group = qobject_cast<QGroupBox*>(&widget)) {
        group->setTitle(text);
    }
}

// The item of a row, or null outside the list.
QTreeWidgetItem* RowOf(QTreeWidget* list, int32_t row) {
    if (list == nullptr || row < 0 || row >= list->topLevelItemCount()) {
        return nullptr;
    }
    return list->topLevelItem(row);
}

}  // namespace

QtRuntime::QtRuntime(QWidget& mainWindow) : m_window(mainWindow) {
    m_window.installEventFilter(this);
    const QList<QLineEdit*> edits = m_window.findChildren<QLineEdit*>();
    for (QLineEdit* edit : edits) {
        if (edit->property("integerInput").toBool()) {
            new IntegerInput(*edit);
        }
    }
    // Labels take no input in this window. Letting mouse and drag events
    // through them lets a drop onto the hint label, which lies over the file
    // list, reach the list.
    const QList<QLabel*> labels = m_window.findChildren<QLabel*>();
    for (QLabel* label : labels) {
        label->setAttribute(Qt::WA_TransparentForMouseEvents, true);
    }
}

void QtRuntime::OpenMainWindow() {
    for (const EventHandler& handler : m_created) {
        handler({});
    }
    if (const QScreen* screen = m_window.screen()) {
        const QRect area = screen->availableGeometry();
        m_window.move(area.center() - m_window.rect().center());
    }
    m_window.show();
}

QWidget* QtRuntime::Find(std::string_view name) const {
    const QString objectName = FromUtf8(name);
    if (m_window.objectName() == objectName) {
        return &m_window;
    }
    return m_window.findChild<QWidget*>(objectName);
}

QWidget* QtRuntime::WidgetOf(NativeWindow window) const {
    if (window == 0) {
        return nullptr;
    }
    // Only widgets of this window are taken, so a stale or made-up handle is
    // never dereferenced.
    if (reinterpret_cast<NativeWindow>(&m_window) == window) {
        return &m_window;
    }
    const QList<QWidget*> widgets = m_window.findChildren<QWidget*>();
    for (QWidget* widget : widgets) {
        if (reinterpret_cast<NativeWindow>(widget) == window) {
            return widget;
        }
    }
    return nullptr;
}

Value QtRuntime::GetProperty(std::string_view control, Property property) {
    QWidget* widget = Find(control);
    if (widget == nullptr) {
        return EmptyValue(property);
    }
    switch (property) {
        case Property::Caption:
            return ToUtf8(CaptionOf(*widget));
        case Property::Visible:
            return !widget->isHidden();
        case Property::Disabled:
            return !widget->isEnabled();
        case Property::Position:
            if (const auto* bar = qobject_cast<QProgressBar*>(widget)) {
                return static_cast<int32_t>(bar->value());
            }
            return int32_t{0};
    }
    return EmptyValue(property);
}

void QtRuntime::SetProperty(std::string_view control, Property property, const Value& value) {
    QWidget* widget = Find(control);
    if (widget == nullptr) {
        return;
    }
    switch (property) {
        case Property::Caption:
            if (const auto* text = std::get_if<std::string>(&value)) {
                SetCaptionOf(*widget, FromUtf8(*text));
            }
            break;
        case Property::Visible:
            if (const auto* visible = std::get_if<bool>(&value)) {
                widget->setVisible(*visible);
            }
            break;
        case Property::Disabled:
            if (const auto* disabled = std::get_if<bool>(&value)) {
                widget->setEnabled(!*disabled);
            }
            break;
        case Property::Position: {
            auto* bar = qobject_cast<QProgressBar*>(widget);
            const auto* position = std::get_if<int32_t>(&value);
            // QProgressBar ignores a value outside its range; the bar is
            // promised to clamp instead.
            if (bar != nullptr && position != nullptr) {
                bar->setValue(std::clamp(*position, bar->minimum(), bar->maximum()));
            }
            break;
        }
    }
}

int32_t QtRuntime::ListRowCount(std::string_view list) {
    const auto* tree = qobject_cast<QTreeWidget*>(Find(list));
    return tree != nullptr ? tree->topLevelItemCount() : 0;
}

void QtRuntime::ListAppendRow(std::string_view list) {
    if (auto* tree = qobject_cast<QTreeWidget*>(Find(list))) {
        tree->addTopLevelItem(new QTreeWidgetItem());
    }
}

void QtRuntime::ListSetCell(std::string_view list, int32_t row, int32_t column,
                            std::string_view text) {
    auto* tree = qobject_cast<QTreeWidget*>(Find(list));
    QTreeWidgetItem* item = RowOf(tree, row);
    if (item != nullptr && column >= 0 && column < tree->columnCount()) {
        item->setText(column, FromUtf8(text));
    }
}

std::string QtRuntime::ListGetCell(std::string_view list, int32_t row, int32_t column) {
    auto* tree = qobject_cast<QTreeWidget*>(Find(list));
    const QTreeWidgetItem* item = RowOf(tree, row);
    if (item == nullptr || column < 0 || column >= tree->columnCount()) {
        return {};
    }
    return ToUtf8(item->text(column));
}

void QtRuntime::ListClear(std::string_view list) {
    if (auto* tree = qobject_cast<QTreeWidget*>(Find(list))) {
        tree->clear();
    }
}

NativeWindow QtRuntime::NativeHandle(std::string_view control) {
    QWidget* widget = Find(control);
    // A list's rows are drawn, and dropped onto, in its viewport.
    if (auto* area = qobject_cast<QAbstractScrollArea*>(widget)) {
        widget = area->viewport();
    }
    return reinterpret_cast<NativeWindow>(widget);
}

bool QtRuntime::RegisterDropWindow(std::string_view receiver, NativeWindow window) {
    auto* drops = qobject_cast<DropReceiver*>(Find(receiver));
    QWidget* target = WidgetOf(window);
    return drops != nullptr && target != nullptr && drops->Serve(target);
}

std::string QtRuntime::ChooseFolder(std::string_view title, bool includeFiles) {
    FolderChooser chooser(&m_window, FromUtf8(title), includeFiles);
    chooser.exec();
    return ToUtf8(chooser.ChosenPath());
}

void QtRuntime::ShellOpen(std::string_view path) {
    if (path.empty()) {
        return;
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(FromUtf8(path)));
}

bool QtRuntime::PumpPendingMessages() {
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    // A round's handlers may queue more work; go on until a round finds
    // nothing, or the window has been closed.
    while (!m_closed && dispatcher != nullptr && dispatcher->processEvents(QEventLoop::AllEvents)) {
    }
    return !m_closed;
}

bool QtRuntime::CreateFolder(std::string_view path) {
    const QByteArray native = QFile::encodeName(FromUtf8(path));
    return ::mkdir(native.constData(), 0777) == 0;
}

void QtRuntime::Bind(std::string_view control, Event event, EventHandler handler) {
    QWidget* widget = Find(control);
    if (widget == nullptr) {
        return;
    }
    switch (event) {
        case Event::Created:
            if (widget == &m_window) {
                m_created.push_back(std::move(handler));
            }
            break;
        case Event::Clicked:
            if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
                connect(button, &QAbstractButton::clicked, this,
                        [handler = std::move(handler)] { handler({}); });
            }
            break;
        case Event::TextChanged:
            if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
                connect(
                    edit, &QLineEdit::textChanged, this,
                    [handler = std::move(handler)](const QString&) { handler({}); },
                    Qt::DirectConnection);
            }
            break;
        case Event::FilesDropped:
            if (auto* drops = qobject_cast<DropReceiver*>(widget)) {
                connect(drops, &DropReceiver::filesDropped, this,
                        [handler = std::move(handler)](const QString& text) {
                            const std::string utf8 = ToUtf8(text);
                            handler(utf8);
                        });
            }
            break;
    }
}

bool QtRuntime::eventFilter(QObject* watched, QEvent* event) {
    // The window has no close handler, so a close request always closes it.
    if (watched == &m_window && event->type() == QEvent::Close) {
        m_closed = true;
    }
    return false;
}

}  // namespace tolvane::runtime
