#include "config/RecordFile.h"

#include "config/WholeFile.h"

#include <QFile>
#include <QFileInfo>

namespace kvam {

namespace {

bool fail(QString* error, const QString& text)
{
    if (error)
        *error = text;
    return false;
}

} // namespace

bool saveRecordFile(const QString& path, const Ram2Image& image, QString* error)
{
    return saveWholeFile(
        path, QByteArray(reinterpret_cast<const char*>(image.data()), qsizetype(image.size())), error);
}

bool loadRecordFile(const QString& path, Ram2Image& image, QString* error)
{
    if (QFileInfo(path).isDir())
        return fail(error, QStringLiteral("%1: is a folder").arg(path));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(error, QStringLiteral("%1: %2").arg(path, file.errorString()));
    const QByteArray bytes = file.read(qint64(image.size()));
    if (file.error() != QFileDevice::NoError)
        return fail(error, QStringLiteral("%1: %2").arg(path, file.errorString()));
    // A short file would leave the tail of the previous configuration under the head of another.
    if (bytes.size() < qsizetype(image.size()))
        return fail(
            error,
            QStringLiteral("%1: %2 bytes, a record takes %3").arg(path).arg(bytes.size()).arg(image.size()));
    image.copyFrom(reinterpret_cast<const std::uint8_t*>(bytes.constData()));
    return true;
}

} // namespace kvam
