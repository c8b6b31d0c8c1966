#include "config/ReviewRows.h"

namespace kvam {

std::vector<ReviewRow> reviewRows(std::span<const FieldChange> changes, std::optional<Language> language)
{
    std::vector<ReviewRow> rows;
    rows.reserve(changes.size());
    for (const FieldChange& c : changes) {
        const ChangeTexts texts = changeTexts(c, language);
        ReviewRow row;
        row.record = c.record;
        row.name = QString::fromStdString(c.name());
        row.caption = texts.caption.isEmpty() ? row.name : texts.caption;
        row.meter = texts.before;
        row.proposed = texts.after;
        row.unit = texts.unit;
        rows.push_back(std::move(row));
    }
    return rows;
}

} // namespace kvam
