#include "cli/CsvPresenter.h"

#include "log/LogFile.h"

namespace kvam::cli {

void CsvPresenter::measured(const Origin& origin, const QDateTime& when, const NetRecord& net)
{
    if (!m_headerDone) {
        m_headerDone = true;
        m_out("port,meter," + csvHeaderLine());
    }
    m_out(QStringLiteral("%1,%2,").arg(origin.port, origin.meterText()).toUtf8() + csvRecordLine(when, net));
}

} // namespace kvam::cli
