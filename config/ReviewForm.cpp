#include "config/ReviewForm.h"

#include "platform/LanguageSwitch.h"
#include "platform/UserPrompts.h"
#include "texts/UiTexts.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace kvam {

namespace {

QPushButton* boldButton(const char* textKey, const char* objectName, QWidget* parent)
{
    auto* button = new QPushButton(currentText(textKey), parent);
    button->setObjectName(QLatin1String(objectName));
    QFont bold = button->font();
    bold.setBold(true);
    button->setFont(bold);
    button->setMinimumWidth(96);
    return button;
}

QLabel* textLine(const QString& text, const char* objectName, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(objectName));
    label->setWordWrap(true);
    return label;
}

QString meterText(std::optional<std::uint32_t> meter)
{
    return meter ? QString::number(*meter) : currentText("Review.UnknownMeter");
}

// Columns: caption, name, meter, new value, unit.
constexpr const char* kColumnKeys[] = {"Review.Caption", "Review.Name", "Review.MeterValue",
                                       "Review.NewValue", "Review.Unit"};
constexpr int kColumns = int(std::size(kColumnKeys));
constexpr int kWidestColumn = 170; // longer captions and names wrap and show whole in their tooltip

} // namespace

ReviewForm::ReviewForm(const WriteProposal& proposal, QWidget* window)
    : QDialog(window, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      m_rows(reviewRows(proposal.changes, shownLanguage(window))), m_foreign(proposal.foreign())
{
    setObjectName(QStringLiteral("ReviewForm"));
    setWindowTitle(currentText("Review.Title"));
    setModal(true);
    setFixedSize(kClientWidth, kClientHeight);

    QStringList records;
    if (proposal.ram1)
        records << QLatin1String(memoryRecordName(MemoryRecord::Ram1));
    if (proposal.ram2)
        records << QLatin1String(memoryRecordName(MemoryRecord::Ram2));
    if (proposal.ram3)
        records << QLatin1String(memoryRecordName(MemoryRecord::Ram3));
    QLabel* meter = textLine(currentText("Review.Meter")
                                 .arg(meterText(proposal.meter ? proposal.meter : proposal.owner),
                                      records.join(QStringLiteral(", "))),
                             "ReviewMeter", this);
    QFont bold = meter->font();
    bold.setBold(true);
    meter->setFont(bold);

    QLabel* foreign =
        textLine(currentText("Review.Foreign").arg(meterText(proposal.owner), meterText(proposal.meter)),
                 "ReviewForeign", this);
    foreign->setFont(bold);
    foreign->setStyleSheet(QStringLiteral("color: #b00000;"));
    m_includeFactory = new QCheckBox(currentText("Review.IncludeFactory"), this);
    m_includeFactory->setObjectName(QStringLiteral("IncludeFactory"));
    foreign->setVisible(m_foreign);
    m_includeFactory->setVisible(m_foreign);

    m_table = new QTableWidget(int(m_rows.size()), kColumns, this);
    m_table->setObjectName(QStringLiteral("ReviewTable"));
    QStringList headers;
    for (const char* key : kColumnKeys)
        headers << currentText(key);
    m_table->setHorizontalHeaderLabels(headers);
    m_table->verticalHeader()->hide();
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setAlternatingRowColors(true);
    m_table->setWordWrap(true);
    for (int r = 0; r < int(m_rows.size()); ++r) {
        const ReviewRow& row = m_rows[std::size_t(r)];
        const QString cells[kColumns] = {row.caption, row.name, row.meter, row.proposed, row.unit};
        for (int c = 0; c < kColumns; ++c) {
            // A list of lamps wraps only after its commas.
            auto* item = new QTableWidgetItem(
                c == 2 || c == 3 ? QString(cells[c])
                                       .replace(QLatin1Char(' '), QChar::Nbsp)
                                       .replace(QStringLiteral(",\u00A0"), QStringLiteral(", "))
                                 : cells[c]);
            item->setToolTip(cells[c]);
            // Numbers stand right-aligned, so their digits line up; texts and lamp lists left.
            bool number = false;
            QLocale().toDouble(cells[c], &number);
            if ((c == 2 || c == 3) && number)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            m_table->setItem(r, c, item);
        }
    }
    // Caption and name as wide as they need (up to a limit), the unit as its texts, and the two
    // values share the rest; longer texts wrap.
    QHeaderView* header = m_table->horizontalHeader();
    m_table->resizeColumnsToContents();
    for (int c : {0, 1})
        m_table->setColumnWidth(c, std::min(m_table->columnWidth(c), kWidestColumn));
    header->setSectionResizeMode(2, QHeaderView::Stretch);
    header->setSectionResizeMode(3, QHeaderView::Stretch);
    header->setSectionResizeMode(4, QHeaderView::ResizeToContents);
    // Rows grow to their wrapped texts once the values' width is known.
    connect(header, &QHeaderView::sectionResized, m_table, [this] { m_table->resizeRowsToContents(); });

    QLabel* nothing = textLine(currentText("Review.NothingChanges"), "ReviewNothing", this);
    nothing->setFont(bold);
    nothing->setAlignment(Qt::AlignCenter);

    m_dontAsk = new QCheckBox(currentText("Review.DontAsk"), this);
    m_dontAsk->setObjectName(QStringLiteral("ReviewDontAsk"));

    QPushButton* write = boldButton("Review.Write", "ReviewWrite", this);
    QPushButton* cancel = boldButton("Review.Cancel", "ReviewCancel", this);
    QPushButton* close = boldButton("Review.Close", "ReviewClose", this);
    connect(write, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);

    const bool changes = !m_rows.empty();
    m_table->setVisible(changes);
    nothing->setVisible(!changes);
    write->setVisible(changes);
    cancel->setVisible(changes);
    close->setVisible(!changes);
    // Enter never writes by itself: the default button is the harmless one.
    (changes ? cancel : close)->setDefault(true);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_dontAsk);
    buttons->addStretch();
    buttons->addWidget(write);
    buttons->addWidget(cancel);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(meter);
    layout->addWidget(foreign);
    layout->addWidget(m_includeFactory);
    layout->addWidget(m_table, 1);
    layout->addWidget(nothing, 1);
    layout->addLayout(buttons);

    connect(m_includeFactory, &QCheckBox::toggled, this, &ReviewForm::showFactoryRows);
    showFactoryRows();
}

void ReviewForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    m_table->resizeRowsToContents();
}

void ReviewForm::showFactoryRows()
{
    const bool leftOut = !recordWritten(MemoryRecord::Ram3, m_foreign, m_includeFactory->isChecked());
    const QColor text = palette().color(leftOut ? QPalette::Disabled : QPalette::Active, QPalette::Text);
    const QString tip = leftOut ? currentText("Review.FactoryLeftOut") : QString();
    for (int r = 0; r < int(m_rows.size()); ++r) {
        const ReviewRow& row = m_rows[std::size_t(r)];
        if (row.record != MemoryRecord::Ram3)
            continue;
        for (int c = 0; c < kColumns; ++c) {
            QTableWidgetItem* item = m_table->item(r, c);
            item->setForeground(text);
            item->setToolTip(leftOut ? tip : item->text());
        }
    }
}

ReviewDecision ReviewForm::decision(bool accepted) const
{
    ReviewDecision d;
    d.write = accepted && !m_rows.empty();
    d.includeFactory = m_foreign && m_includeFactory->isChecked();
    return d;
}

bool ReviewForm::dontAskAgain() const
{
    return m_dontAsk->isChecked();
}

void ReviewForm::placeOver(const QWidget* mainWindow)
{
    const QRect main = mainWindow->frameGeometry();
    const QSize own = frameGeometry().size();
    move(main.x() + (main.width() - own.width()) / 2, main.y() + (main.height() - own.height()) / 2);
}

ReviewDecision reviewInDialog(const WriteProposal& proposal, QWidget* window, UserPrompts& prompts,
                              bool* dontAskAgain)
{
    ReviewForm form(proposal, window);
    form.placeOver(window);
    const bool accepted = prompts.runDialog(form);
    if (dontAskAgain)
        *dontAskAgain = form.dontAskAgain();
    return form.decision(accepted);
}

} // namespace kvam
