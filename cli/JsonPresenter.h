#pragma once

#include "cli/Presenter.h"

#include <QJsonObject>

namespace kvam::cli {

/// Results as one JSON object a line, each tagged with its port, meter and status.
class JsonPresenter : public Presenter
{
public:
    JsonPresenter(Output out, bool several) : Presenter(std::move(out), several) {}

    void ports(const QList<QSerialPortInfo>& ports) override;
    void info(const Origin& origin, const MeterInfo& info) override;
    void compared(const Origin& origin, const Comparison& comparison, Status status) override;
    void backups(const Origin& origin, const BackupList& list) override;
    /// The review is given whole with the outcome.
    void review(const Origin&, const QStringList&) override {}
    void written(const Origin& origin, const WriteReport& report, Status status) override;
    void errorsCleared(const Origin& origin, const ErrorsCleared& errors, Status status) override;
    void serviceDone(const Origin& origin, const ServiceChanges& changes) override;
    void measured(const Origin& origin, const QDateTime& when, const NetRecord& net) override;

private:
    /// The object with the port, the meter and the status added.
    void result(const Origin& origin, QJsonObject object, Status status);
};

} // namespace kvam::cli
