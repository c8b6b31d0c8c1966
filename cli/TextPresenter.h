#pragma once

#include "cli/Presenter.h"

namespace kvam::cli {

/// Results as lines for a reader: each meter's a block headed by its port and factory number.
class TextPresenter : public Presenter
{
public:
    TextPresenter(Output out, bool several) : Presenter(std::move(out), several) {}

    void ports(const QList<QSerialPortInfo>& ports) override;
    void info(const Origin& origin, const MeterInfo& info) override;
    void compared(const Origin& origin, const Comparison& comparison, Status status) override;
    void backups(const Origin& origin, const BackupList& list) override;
    void review(const Origin& origin, const QStringList& lines) override;
    void written(const Origin& origin, const WriteReport& report, Status status) override;
    void errorsCleared(const Origin& origin, const ErrorsCleared& errors, Status status) override;
    void serviceDone(const Origin& origin, const ServiceChanges& changes) override;
    void measured(const Origin& origin, const QDateTime& when, const NetRecord& net) override;

private:
    /// A result block: a header naming the port and meter, then `lines`.
    void block(const Origin& origin, const QStringList& lines);
};

} // namespace kvam::cli
