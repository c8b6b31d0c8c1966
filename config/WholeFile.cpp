#include "config/WholeFile.h"

#include <QSaveFile>

namespace kvam {

bool saveWholeFile(const QString& path, const QByteArray& bytes, QString* error)
{
    QSaveFile file(path);
    const auto fail = [&] {
        if (error)
            *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        file.cancelWriting();
        return false;
    };
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return fail();
    // A short write sets no error; the write of the rest fails with the system's reason.
    qint64 done = 0;
    while (done < bytes.size()) {
        const qint64 n = file.write(bytes.constData() + done, bytes.size() - done);
        if (n <= 0)
            return fail();
        done += n;
    }
    return file.commit() || fail();
}

} // namespace kvam
