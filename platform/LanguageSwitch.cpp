#include "platform/LanguageSwitch.h"

#include "platform/ControlText.h"
#include "platform/LampGroup.h"
#include "platform/PageParts.h"
#include "texts/UiTexts.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <QSignalBlocker>

#include <vector>

namespace kvam {

namespace {

// The windows to search: a listed window that lies inside another listed one (a dialog the main
// window owns) is reached through that one; searching it again would find its controls twice.
QList<QWidget*> searchRoots(const QList<QWidget*>& windows)
{
    QList<QWidget*> roots;
    for (QWidget* w : windows) {
        if (!w || roots.contains(w))
            continue;
        bool inside = false;
        for (QObject* p = w->parent(); p && !inside; p = p->parent())
            if (auto* pw = qobject_cast<QWidget*>(p))
                inside = windows.contains(pw);
        if (!inside)
            roots << w;
    }
    return roots;
}

QList<QWidget*> controlsOf(const QList<QWidget*>& roots, const char* name)
{
    return ControlText::controls(roots, QString::fromLatin1(name));
}

QList<QComboBox*> boxesOf(const QList<QWidget*>& roots, const char* name)
{
    QList<QComboBox*> boxes;
    for (QWidget* w : controlsOf(roots, name))
        if (auto* box = qobject_cast<QComboBox*>(w))
            boxes << box;
    return boxes;
}

// A lamp group is found by its bit-0 lamp's name + "Group".
LampGroup* lampGroupOf(const QList<QWidget*>& roots, const char* name)
{
    const QList<QWidget*> found = ControlText::controls(roots, QLatin1String(name) + QStringLiteral("Group"));
    return found.size() == 1 ? qobject_cast<LampGroup*>(found.first()) : nullptr;
}

// The rows set on a control; the switched messages are read when they are shown.
bool setsControl(const UiText& t)
{
    return t.kind == TextKind::Control && t.switched();
}

// The window's own record of the language it shows: another window built since shows its start texts.
constexpr char kShownLanguage[] = "shownLanguage";

void setItems(QComboBox* box, const QStringList& items)
{
    box->clear();
    box->addItems(items);
}

} // namespace

void applyLanguage(const QList<QWidget*>& windows, Language language)
{
    const QList<QWidget*> roots = searchRoots(windows);

    // Every box whose list or selection changes stays silent until its selection is back:
    // emptying and refilling moves the current index, and that is no choice of the user's.
    QList<QComboBox*> boxes;
    auto collect = [&](const char* name) {
        for (QComboBox* box : boxesOf(roots, name))
            if (!boxes.contains(box))
                boxes << box;
    };
    for (const char* name : languageRememberedSelections())
        collect(name);
    for (const LanguageItems& list : languageItemLists())
        collect(list.control);
    for (const LanguageCopy& copy : languageListCopies())
        collect(copy.target);
    std::vector<QSignalBlocker> blockers;
    blockers.reserve(std::size_t(boxes.size()));
    for (QComboBox* box : boxes)
        blockers.emplace_back(box);

    struct Selection
    {
        QComboBox* box;
        int index;
    };
    std::vector<Selection> selections;
    for (const char* name : languageRememberedSelections())
        for (QComboBox* box : boxesOf(roots, name))
            selections.push_back({box, box->currentIndex()});

    for (const char* name : languageListsEmptiedFirst())
        for (QComboBox* box : boxesOf(roots, name))
            box->clear();

    for (const UiText& t : uiTexts()) {
        if (!setsControl(t))
            continue;
        const QString text = t.text(language);
        for (QWidget* control : controlsOf(roots, t.control))
            ControlText::setText(control, text);
    }
    for (const LanguageItems& list : languageItemLists()) {
        const QStringList items = list.items(language);
        for (QComboBox* box : boxesOf(roots, list.control))
            setItems(box, items);
    }

    // The error lamps of the other groups repeat the dynamic group's captions, paired by bit.
    if (LampGroup* source = lampGroupOf(roots, kLanguageLampSource)) {
        for (const char* name : languageLampTargets()) {
            LampGroup* target = lampGroupOf(roots, name);
            if (!target)
                continue;
            for (int bit = 0; bit < kLanguageLampBits; ++bit) {
                QLabel* from = source->captionLabel(bit);
                QLabel* to = target->captionLabel(bit);
                if (from && to)
                    to->setText(from->text());
            }
        }
    }

    for (const LanguageCopy& copy : languageLabelCopies()) {
        const QList<QWidget*> sources = controlsOf(roots, copy.source);
        if (sources.isEmpty())
            continue;
        bool ok = false;
        const QString text = ControlText::text(sources.first(), &ok);
        if (!ok)
            continue;
        for (QWidget* target : controlsOf(roots, copy.target))
            ControlText::setText(target, text);
    }

    for (const LanguageCopy& copy : languageListCopies()) {
        const QList<QComboBox*> sources = boxesOf(roots, copy.source);
        if (sources.isEmpty())
            continue;
        QStringList items;
        for (int i = 0; i < sources.first()->count(); ++i)
            items << sources.first()->itemText(i);
        for (QComboBox* target : boxesOf(roots, copy.target))
            setItems(target, items);
    }

    // Refilling an empty box selects its first item; a box that had no selection gets none back.
    for (const Selection& s : selections)
        s.box->setCurrentIndex(s.index < s.box->count() ? s.index : -1);

    // Messages built from now on speak the language shown, and so do the tooltips that explain
    // why a control waits.
    setCurrentLanguage(language);
    for (QWidget* root : roots)
        root->setProperty(kShownLanguage, int(language));
    for (QWidget* root : roots)
        for (QWidget* w : QList<QWidget*>{root} + root->findChildren<QWidget*>()) {
            if (const QByteArray key = w->property(kToolTipKeyProperty).toByteArray(); !key.isEmpty())
                w->setToolTip(currentText(key.constData()));
            if (w->property(kFollowsLanguageProperty).toBool()) {
                QEvent change(QEvent::LanguageChange);
                QCoreApplication::sendEvent(w, &change);
            }
        }
}

std::optional<Language> shownLanguage(const QWidget* window)
{
    // A root of the switch is the main window; a dialog over it shows the main window's language.
    for (const QWidget* w = window; w; w = w->parentWidget()) {
        const QVariant language = w->property(kShownLanguage);
        if (language.isValid())
            return Language(language.toInt());
    }
    return std::nullopt;
}

QStringList missingControls(const QList<QWidget*>& windows)
{
    const QList<QWidget*> roots = searchRoots(windows);
    QStringList missing;
    auto showsText = [&](const char* name) {
        const QList<QWidget*> found = controlsOf(roots, name);
        bool ok = false;
        if (found.size() == 1)
            ControlText::text(found.first(), &ok);
        if (!ok)
            missing << QString::fromLatin1(name);
    };
    auto isBox = [&](const char* name) {
        const QList<QWidget*> found = controlsOf(roots, name);
        if (found.size() != 1 || !qobject_cast<QComboBox*>(found.first()))
            missing << QString::fromLatin1(name);
    };

    for (const UiText& t : uiTexts())
        if (setsControl(t))
            showsText(t.control);
    for (const char* name : languageRememberedSelections())
        isBox(name);
    for (const char* name : languageListsEmptiedFirst())
        isBox(name);
    for (const LanguageItems& list : languageItemLists())
        isBox(list.control);
    for (const LanguageCopy& copy : languageListCopies()) {
        isBox(copy.source);
        isBox(copy.target);
    }
    for (const LanguageCopy& copy : languageLabelCopies()) {
        showsText(copy.source);
        showsText(copy.target);
    }

    std::vector<const char*> groups{kLanguageLampSource};
    for (const char* name : languageLampTargets())
        groups.push_back(name);
    for (const char* name : groups) {
        const LampGroup* group = lampGroupOf(roots, name);
        if (!group) {
            missing << QString::fromLatin1(name);
            continue;
        }
        for (int bit = 0; bit < kLanguageLampBits; ++bit)
            if (!group->captionLabel(bit))
                missing << QStringLiteral("%1 bit %2").arg(QLatin1String(name)).arg(bit);
    }

    missing.removeDuplicates();
    return missing;
}

} // namespace kvam
