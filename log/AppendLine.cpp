#include "log/AppendLine.h"

#include <QFile>

namespace kvam {

std::optional<QString> appendLine(const QString& path, const QByteArray& line)
{
    QFile file(path);
    const bool created = !file.exists();
    // Unbuffered: a failing write shows in write()'s result, not later in a flush on close.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return file.errorString();
    const qint64 before = file.size();
    qint64 done = 0;
    while (done < line.size()) {
        const qint64 n = file.write(line.constData() + done, line.size() - done);
        if (n <= 0)
            break;
        done += n;
    }
    QString reason;
    if (done == line.size()) {
        file.close();
        if (file.error() == QFileDevice::NoError)
            return std::nullopt;
        reason = file.errorString();
    } else {
        // A short write without an error code is what a full disk gives before it refuses outright.
        reason = file.error() != QFileDevice::NoError
                     ? file.errorString()
                     : QStringLiteral("Only %1 of %2 bytes could be written").arg(done).arg(line.size());
        file.close();
    }
    if (created)
        QFile::remove(path);
    else
        QFile::resize(path, before);
    return reason;
}

} // namespace kvam
