#pragma once

#include <QDialog>
#include <QStringList>

class QComboBox;
class QPushButton;

namespace kvam {

/// The modal window for choosing a section of the settings file. OK accepts, "Mégsem" rejects.
class TSectionForm : public QDialog
{
    Q_OBJECT
public:
    static constexpr int kClientWidth = 230;
    static constexpr int kClientHeight = 120;

    explicit TSectionForm(QWidget* parent = nullptr);

    /// Replaces the offered sections and selects the first one.
    void setSections(const QStringList& sections);
    /// The section selected; empty when none is offered.
    QString selectedSection() const;

    /// Places the window for an opening over `mainWindow`: the first time it will be shown, centred
    /// over the main window; every later time, with its top-left corner at the main window's
    /// centre (left + half the width, top + half the height).
    void placeFor(const QWidget* mainWindow);
    /// Whether the window has been shown before.
    bool shownBefore() const { return m_shownBefore; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    QComboBox* m_sections = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
    bool m_shownBefore = false;
};

} // namespace kvam
