#include "runtime/drop_receiver.h"

#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QStringList>
#include <QUrl>

namespace tolvane::runtime {

namespace {

// Local paths of the drop, or none when anything in it is not a local file.
QStringList LocalPaths(const QMimeData* data) {
    QStringList paths;
    if (data == nullptr || !data->hasUrls()) {
        return paths;
    }
    const QList<QUrl> urls = data->urls();
    for (const QUrl& url : urls) {
        if (!url.isLocalFile()) {
            return {};
        }
        paths.append(url.toLocalFile());
    }
    return paths;
}

// Asks for a copy, never a move: a file manager that is told "moved" may
// delete the user's original once the drop is done.
bool AcceptAsCopy(QDropEvent* event) {
    if (LocalPaths(event->mimeData()).isEmpty()) {
        return false;
    }
    if (event->possibleActions() & Qt::CopyAction) {
        event->setDropAction(Qt::CopyAction);
    } else if (event->possibleActions() & Qt::LinkAction) {
        event->setDropAction(Qt::LinkAction);
    } else {
        return false;
    }
    event->accept();
    return true;
}

}  // namespace

DropReceiver::DropReceiver(QWidget* parent) : QWidget(parent) {}

bool DropReceiver::Serve(QWidget* window) {
    if (m_serving || window == nullptr) {
        return false;
    }
    m_serving = true;
    m_window = window;
    window->setAcceptDrops(true);
    window->installEventFilter(this);
    return true;
}

bool DropReceiver::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_window) {
        return false;
    }
    switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto* drag = static_cast<QDropEvent*>(event);
            if (!AcceptAsCopy(drag)) {
                drag->ignore();
            }
            return true;
        }
        case QEvent::DragLeave:
            return true;
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            if (!AcceptAsCopy(drop)) {
                drop->ignore();
                return true;
            }
            const QStringList paths = LocalPaths(drop->mimeData());
            QString text;
            if (paths.size() == 1) {
                text = paths.front();
            } else {
                for (const QString& path : paths) {
                    text += path + QStringLiteral("\r\n");
                }
            }
            emit filesDropped(text);
            return true;
        }
        default:
            return false;
    }
}

}  // namespace tolvane::runtime
