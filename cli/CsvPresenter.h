#pragma once

#include "cli/TextPresenter.h"

namespace kvam::cli {

/// watch --format csv: the measurements as the CSV log has them, after the port and the meter, under
/// one header for every meter. Other results are text.
class CsvPresenter : public TextPresenter
{
public:
    using TextPresenter::TextPresenter;

    void measured(const Origin& origin, const QDateTime& when, const NetRecord& net) override;

private:
    bool m_headerDone = false;
};

} // namespace kvam::cli
