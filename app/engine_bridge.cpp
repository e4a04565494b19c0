#include "engine_bridge.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include "engine/convert.h"

namespace tolvane::app {

namespace {

QByteArray NativePath(const std::string& text) {
    return QFile::encodeName(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

}  // namespace

int32_t ConvertWithEngine(const std::string& source, const std::string& destination,
                          int32_t grayscale, int32_t quality, int32_t optimize, int32_t smoothing) {
    const QByteArray nativeSource = NativePath(source);
    const QByteArray nativeDestination = NativePath(destination);
    return ConvertImage(nativeSource.constData(), nativeDestination.constData(), grayscale, quality,
                        optimize, smoothing);
}

}  // namespace tolvane::app
