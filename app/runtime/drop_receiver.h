#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

namespace tolvane::runtime {

// The window's receiver of files dropped from the file manager. It is a
// hidden control of its own; once it serves a window, drops of local files
// onto that window raise filesDropped with one path alone, or with each path
// followed by CR LF. Text, links and remote URLs are refused.
class DropReceiver : public QWidget {
    Q_OBJECT

  public:
    explicit DropReceiver(QWidget* parent = nullptr);

    // Refused when the receiver serves a window already.
    bool Serve(QWidget* window);

  signals:
    void filesDropped(const QString& text);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QPointer<QWidget> m_window;
    bool m_serving = false;
};

}  // namespace tolvane::runtime
