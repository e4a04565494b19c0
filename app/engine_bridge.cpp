#include "engine_bridge.h"

#include <sys/stat.h>

#include <QByteArray>
#include <QFile>
#include <QString>

#include "engine/convert.h"

namespace tolvane::app {

namespace {

QByteArray NativePath(const std::string& text) {
    return QFile::encodeName(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

// Same device and inode: catches the same file reached through another
// spelling, a symbolic link or a hard link too.
bool IsSameFile(const QByteArray& first, const QByteArray& second) {
    struct stat a {};
    struct stat b {};
    return ::stat(first.constData(), &a) == 0 && ::stat(second.constData(), &b) == 0 &&
           a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

int32_t ConvertWithEngine(const std::string& source, const std::string& destination,
                          int32_t grayscale, int32_t quality, int32_t optimize, int32_t smoothing) {
    const QByteArray nativeSource = NativePath(source);
    const QByteArray nativeDestination = NativePath(destination);
    if (IsSameFile(nativeSource, nativeDestination)) {
        return kConvertInvalidArguments;
    }
    return ConvertImage(nativeSource.constData(), nativeDestination.constData(), grayscale, quality,
                        optimize, smoothing);
}

}  // namespace tolvane::app
