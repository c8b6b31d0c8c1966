#pragma once

#include "platform/Lamp.h"

#include <QLabel>
#include <QList>
#include <QSize>
#include <QWidget>

namespace kvam {

/// A column (or several) of lamps sharing one 32-bit status word: each lamp shows one bit, lit
/// when the bit is set. Every lamp has its caption at the right. When editable, a click on a lamp
/// or its caption toggles its bit. Bits without a lamp are kept in the word untouched.
class LampGroup : public QWidget
{
    Q_OBJECT
public:
    /// One lamp: its bit, caption and objectName. An empty name gives the group's name for bit 0
    /// and the group's name + bit number for the others.
    struct Entry
    {
        int bit = 0;
        QString caption;
        QString name;
    };

    struct Style
    {
        Lamp::Shape shape = Lamp::Shape::Square;
        QSize lampSize{14, 14};
        QColor lit{255, 0, 0};
        QColor unlit{255, 255, 255};
        int rowHeight = 20;     ///< one row per lamp, in entry order from the top
        int captionGap = 6;     ///< pixels between a lamp and its caption
        int captionWidth = 160; ///< room for each caption
        int rowsPerColumn = 0;  ///< 0: a single column
    };

    /// Entries for bits first, first + 1, ... with the given captions.
    static QList<Entry> entriesFor(const QStringList& captions, int first = 0);

    LampGroup(const QString& name, const QList<Entry>& entries, const Style& style,
              QWidget* parent = nullptr);

    QString name() const { return m_name; }
    quint32 status() const { return m_status; }
    /// Lights each lamp whose bit is set; emits nothing (only clicks emit statusChanged).
    void setStatus(quint32 status);

    bool isEditable() const { return m_editable; }
    void setEditable(bool editable);

    Lamp* lamp(int bit) const;           ///< nullptr if no lamp shows this bit
    QLabel* captionLabel(int bit) const; ///< nullptr if no lamp shows this bit
    QList<int> bits() const;             ///< the bits shown, in entry order
    const Style& style() const { return m_style; }

signals:
    /// A click toggled a bit; carries the new word.
    void statusChanged(quint32 status);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Item
    {
        int bit;
        Lamp* lamp;
        QLabel* caption;
    };
    void toggle(int bit);
    void paintLamps();

    QString m_name;
    Style m_style;
    QList<Item> m_items;
    quint32 m_status = 0;
    bool m_editable = false;
};

} // namespace kvam
