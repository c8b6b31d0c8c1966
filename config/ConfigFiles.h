#pragma once

#include <QObject>
#include <QString>

namespace kvam {

class DeviceModel;
class TSectionForm;
struct UserPrompts;

/// The configuration's files: the settings file (a section per meter, both configuration records)
/// and the record files (the raw RAM2 record). What is loaded reaches the images through the
/// device model's intents; failures are shown as "Save error" or "Open error" with the reason.
class ConfigFiles : public QObject
{
    Q_OBJECT
public:
    ConfigFiles(DeviceModel& model, UserPrompts& prompts, TSectionForm& sectionForm,
                QObject* parent = nullptr);

    /// The folder of the settings file and of the record-file dialogs (the working folder at start).
    QString settingsDir() const { return m_settingsDir; }
    void setSettingsDir(const QString& dir) { m_settingsDir = dir; }
    QString settingsFile() const;

    /// Writes every RAM2 key, then every RAM3 key, of both images into `section` (the factory
    /// number); the other sections of the file stay as they are. Refused while an image holds no
    /// record.
    void SaveRamSettings(const QString& section);
    /// Offers the file's sections and loads the one chosen.
    void ReadSettingsButtonClick();
    /// Loads every RAM2 and RAM3 key of `section` into both images; false (and nothing changed)
    /// when the section cannot be read.
    bool LoadRamSettings(const QString& section);
    /// Packs the RAM2 editor and saves its image to a chosen record file.
    void ButtonSaveRecordClick();
    /// Loads a chosen record file into the RAM2 image.
    void ButtonReadRecordClick();

private:
    DeviceModel& m_model;
    UserPrompts& m_prompts;
    TSectionForm& m_sectionForm;
    QString m_settingsDir;
};

} // namespace kvam
