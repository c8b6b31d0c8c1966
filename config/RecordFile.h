#pragma once

#include "records/Records.h"

#include <QString>

namespace kvam {

// The record file ("*.user"): the 314 bytes of the RAM2 record, with no header, length or checksum.

/// Writes the image's bytes. The file is replaced only once they are all written: on failure an
/// existing file is intact and `error` says why.
bool saveRecordFile(const QString& path, const Ram2Image& image, QString* error = nullptr);

/// Reads the first 314 bytes of the file into the image; bytes beyond them are ignored. A file
/// that is shorter, missing, a folder or unreadable leaves the image unchanged and returns false.
bool loadRecordFile(const QString& path, Ram2Image& image, QString* error = nullptr);

} // namespace kvam
