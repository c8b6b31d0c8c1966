#include "config/TSectionForm.h"

#include "texts/UiTexts.h"

#include <QComboBox>
#include <QPushButton>
#include <QShowEvent>

namespace kvam {

namespace {

QPushButton* boldButton(const char* textKey, const QString& objectName, QWidget* parent)
{
    auto* button = new QPushButton(uiText(textKey), parent);
    button->setObjectName(objectName);
    QFont bold = button->font();
    bold.setBold(true);
    button->setFont(bold);
    return button;
}

} // namespace

TSectionForm::TSectionForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setObjectName(QStringLiteral("SectionForm"));
    setWindowTitle(uiText("SectionForm"));
    setModal(true);
    setFixedSize(kClientWidth, kClientHeight);

    m_sections = new QComboBox(this);
    m_sections->setObjectName(QStringLiteral("SectionsBox"));
    m_sections->setEditable(false);
    m_sections->setGeometry(16, 20, 197, 24);

    // Button1 and Button2 are also names of the main window's controls, so their texts are keyed
    // with the window's name.
    m_ok = boldButton("SectionForm.Button1", QStringLiteral("Button1"), this);
    m_ok->setGeometry(24, 72, 80, 28);
    m_ok->setDefault(true);
    m_cancel = boldButton("SectionForm.Button2", QStringLiteral("Button2"), this);
    m_cancel->setGeometry(126, 72, 80, 28);

    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TSectionForm::setSections(const QStringList& sections)
{
    m_sections->clear();
    m_sections->addItems(sections);
    m_sections->setCurrentIndex(sections.isEmpty() ? -1 : 0);
}

QString TSectionForm::selectedSection() const
{
    return m_sections->currentText();
}

void TSectionForm::placeFor(const QWidget* mainWindow)
{
    const QRect main = mainWindow->frameGeometry();
    if (m_shownBefore) {
        move(main.x() + main.width() / 2, main.y() + main.height() / 2);
        return;
    }
    const QSize own = frameGeometry().size();
    move(main.x() + (main.width() - own.width()) / 2, main.y() + (main.height() - own.height()) / 2);
}

void TSectionForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        m_shownBefore = true;
}

} // namespace kvam
