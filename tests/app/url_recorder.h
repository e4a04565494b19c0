#pragma once

#include <vector>

#include <QObject>
#include <QUrl>

namespace tolvane::test {

// Stands in for the desktop's opener: QDesktopServices hands it the URLs it
// would have passed to the file manager.
class UrlRecorder : public QObject {
    Q_OBJECT

  public:
    std::vector<QUrl> urls;

  public slots:
    void Open(const QUrl& url) { urls.push_back(url); }
};

}  // namespace tolvane::test
