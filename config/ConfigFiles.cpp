#include "config/ConfigFiles.h"

#include "config/RecordFile.h"
#include "config/SettingsFile.h"
#include "config/TSectionForm.h"
#include "device/DeviceModel.h"
#include "platform/UserPrompts.h"
#include "texts/UiTexts.h"

#include <QDir>
#include <QLocale>

namespace kvam {

ConfigFiles::ConfigFiles(DeviceModel& model, UserPrompts& prompts, TSectionForm& sectionForm, QObject* parent)
    : QObject(parent), m_model(model), m_prompts(prompts), m_sectionForm(sectionForm),
      m_settingsDir(QDir::currentPath())
{
}

QString ConfigFiles::settingsFile() const
{
    return QDir(m_settingsDir).filePath(QStringLiteral("settings.ini"));
}

void ConfigFiles::SaveRamSettings(const QString& section)
{
    if (!m_model.configWritable()) {
        m_prompts.showFileError(currentText("Message.SaveError"), currentText("Message.NothingToSave"));
        return;
    }
    QString reason;
    if (!saveSettings(settingsFile(), section, m_model.memory().ram2, m_model.memory().ram3, QLocale(),
                      &reason))
        m_prompts.showFileError(currentText("Message.SaveError"), reason);
}

void ConfigFiles::ReadSettingsButtonClick()
{
    QString reason;
    const QStringList sections = settingsSections(settingsFile(), &reason);
    if (!reason.isEmpty()) {
        m_prompts.showFileError(currentText("Message.OpenError"), reason);
        return;
    }
    if (sections.isEmpty()) {
        m_prompts.showFileError(
            currentText("Message.OpenError"),
            currentText("Message.NoSections").arg(QDir::toNativeSeparators(settingsFile())));
        return;
    }
    m_sectionForm.setSections(sections);
    m_sectionForm.placeFor(m_sectionForm.parentWidget());
    if (m_prompts.runDialog(m_sectionForm))
        LoadRamSettings(m_sectionForm.selectedSection());
}

bool ConfigFiles::LoadRamSettings(const QString& section)
{
    // Into copies first: a section that cannot be read changes neither image.
    const SectionReader read = [&](Ram2Image& ram2, Ram3Image& ram3, QStringList* defaulted, QString* why) {
        return loadSettings(settingsFile(), section, ram2, ram3, QLocale(), why, defaulted);
    };
    QString reason;
    const std::optional<ComposedSection> loaded =
        m_model.writes().composeSection(read, SectionPolicy::FillDefaults, {},
                                        QStringLiteral("%1 [%2]").arg(settingsFile(), section), &reason);
    if (!loaded) {
        m_prompts.showFileError(currentText("Message.OpenError"), reason);
        return false;
    }
    m_model.loadSettings(loaded->ram2, loaded->ram3);
    return true;
}

void ConfigFiles::ButtonSaveRecordClick()
{
    m_model.packRam2();
    const QString file =
        m_prompts.chooseFile({true, currentText("SaveRecordDialog"), currentText("RecordDialog.Filter"),
                              QStringLiteral("user"), m_settingsDir});
    if (file.isEmpty())
        return;
    QString reason;
    if (!saveRecordFile(file, m_model.memory().ram2, &reason))
        m_prompts.showFileError(currentText("Message.SaveError"), reason);
}

void ConfigFiles::ButtonReadRecordClick()
{
    const QString file =
        m_prompts.chooseFile({false, currentText("OpenRecordDialog"), currentText("RecordDialog.Filter"),
                              QStringLiteral("user"), m_settingsDir});
    if (file.isEmpty())
        return;
    Ram2Image ram2 = m_model.memory().ram2;
    QString reason;
    if (!loadRecordFile(file, ram2, &reason)) {
        m_prompts.showFileError(currentText("Message.OpenError"), reason);
        return;
    }
    m_model.loadRecordFile(ram2);
}

} // namespace kvam
