#include "cli/Presenter.h"

#include "cli/CsvPresenter.h"
#include "cli/JsonPresenter.h"
#include "cli/TextPresenter.h"

namespace kvam::cli {

QString Origin::meterText() const
{
    return meter ? QString::number(*meter) : QStringLiteral("?");
}

Presenter::~Presenter() = default;

std::unique_ptr<Presenter> Presenter::make(Format format, Output out, bool several)
{
    switch (format) {
    case Format::Json:
        return std::make_unique<JsonPresenter>(std::move(out), several);
    case Format::Csv:
        return std::make_unique<CsvPresenter>(std::move(out), several);
    case Format::Text:
    case Format::Ini:
    case Format::User:
    case Format::WindowLog:
        break;
    }
    return std::make_unique<TextPresenter>(std::move(out), several);
}

} // namespace kvam::cli
