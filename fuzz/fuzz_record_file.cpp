// The record file reader: the input is the file. Checked: a file shorter than a record is refused
// with a reason and leaves the image as it was; a longer one loads its first 314 bytes; what is
// saved loads back byte for byte.

#include "config/RecordFile.h"
#include "fuzz/FuzzInput.h"
#include "records/Records.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstring>

using namespace kvam;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // In memory where there is a place for it: saving syncs the file to its disk.
    static QTemporaryDir dir(QFileInfo(QStringLiteral("/dev/shm")).isWritable()
                                 ? QStringLiteral("/dev/shm/kvam-fuzz-XXXXXX")
                                 : QDir::tempPath() + QStringLiteral("/kvam-fuzz-XXXXXX"));
    KVAM_FUZZ_CHECK(dir.isValid());
    const QString path = QDir(dir.path()).filePath(QStringLiteral("fuzz.user"));
    {
        QFile file(path);
        KVAM_FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        KVAM_FUZZ_CHECK(file.write(reinterpret_cast<const char*>(data), qint64(size)) == qint64(size));
    }

    Ram2Image image;
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<std::uint8_t>(i * 7 + 3);
    const Ram2Image before = image;
    QString reason;
    const bool loaded = loadRecordFile(path, image, &reason);
    if (size < ram2::kSize) {
        KVAM_FUZZ_CHECK(!loaded);
        KVAM_FUZZ_CHECK(!reason.isEmpty());
        KVAM_FUZZ_CHECK(image == before);
        return 0;
    }
    KVAM_FUZZ_CHECK(loaded);
    KVAM_FUZZ_CHECK(std::memcmp(image.data(), data, ram2::kSize) == 0);

    const QString copy = QDir(dir.path()).filePath(QStringLiteral("copy.user"));
    KVAM_FUZZ_CHECK(saveRecordFile(copy, image, &reason));
    KVAM_FUZZ_CHECK(QFileInfo(copy).size() == qint64(ram2::kSize));
    Ram2Image back = before;
    KVAM_FUZZ_CHECK(loadRecordFile(copy, back, &reason));
    KVAM_FUZZ_CHECK(back == image);
    return 0;
}
