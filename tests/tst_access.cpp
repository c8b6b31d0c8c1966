// Access levels, the stored user password, and the password and section windows.

#include "app/AccessLevel.h"
#include "app/MainPages.h"
#include "app/TPasswordForm.h"
#include "config/TSectionForm.h"
#include "config/UserPasswordStore.h"
#include "platform/ControlText.h"
#include "platform/NumericSpin.h"
#include "texts/UiTexts.h"

#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QSet>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

#include <limits>
#include <vector>

using namespace kvam;

namespace {

const QStringList kFactoryOnly = {QStringLiteral("TabSheet_Calib"),
                                  QStringLiteral("TabSheet_FactorySettings"), QStringLiteral("Commandbox"),
                                  QStringLiteral("Sendbutton"), QStringLiteral("Scan")};

bool showActive(QWidget& w)
{
    w.show();
    w.activateWindow();
    return QTest::qWaitForWindowActive(&w);
}

// The controls a text-table key names among `windows`: "Window.Control" names a control of that
// window; a plain name a window of that name or a control of any window, except in a window whose
// own control of that name has a key qualified with the window's name.
QList<QWidget*> controlsOfKey(const QList<QWidget*>& windows, const QString& key)
{
    QSet<QString> qualified;
    for (const UiText& t : controlTexts())
        qualified.insert(QString::fromLatin1(t.control));
    const qsizetype dot = key.indexOf(QLatin1Char('.'));
    QList<QWidget*> roots;
    for (QWidget* w : windows) {
        if (dot < 0 ? !qualified.contains(w->objectName() + QLatin1Char('.') + key)
                    : w->objectName() == key.left(dot))
            roots << w;
    }
    return ControlText::controls(roots, dot < 0 ? key : key.mid(dot + 1));
}

} // namespace

class TstAccess : public QObject
{
    Q_OBJECT

private:
    QString m_storeFile; ///< the settings file of the store, under the test-mode location
    int m_fileAge = 0;

    void removeStore()
    {
        QFileInfo info(m_storeFile);
        if (info.isDir())
            QDir(m_storeFile).removeRecursively();
        else
            QFile::remove(m_storeFile);
    }

    // Settings files are cached by their size and time, so every rewrite gets a new time.
    void writeStoreFile(const QByteArray& contents)
    {
        QDir().mkpath(QFileInfo(m_storeFile).absolutePath());
        QFile f(m_storeFile);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(f.write(contents), contents.size());
        QVERIFY(f.setFileTime(QDateTime::currentDateTime().addSecs(++m_fileAge),
                              QFileDevice::FileModificationTime));
    }

    void requireIsolatedStore()
    {
        if (m_storeFile.isEmpty())
            QSKIP("the store has no test location on this platform; the user's own store stays untouched");
    }

private slots:
    void initTestCase()
    {
        // Before any QSettings exists: its paths are fixed at the first use.
        QStandardPaths::setTestModeEnabled(true);
#ifndef Q_OS_WIN
        const QString location = UserPasswordStore().location();
        const QString testConfig = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
        QVERIFY2(location.contains(QLatin1String("qttest")), qPrintable(location));
        QVERIFY2(location.startsWith(testConfig + QLatin1Char('/')), qPrintable(location));
        m_storeFile = location;
#endif
    }

    void cleanup()
    {
        if (!m_storeFile.isEmpty())
            removeStore();
    }

    // Access levels

    void evaluation_data()
    {
        QTest::addColumn<QList<int>>("entries"); // entered one after the other
        QTest::addColumn<int>("userPassword");
        QTest::addColumn<bool>("factory");
        QTest::addColumn<bool>("config");

        QTest::newRow("factory code") << QList<int>{52806} << 1234 << true << true;
        QTest::newRow("user password") << QList<int>{1234} << 1234 << false << true;
        QTest::newRow("one off the user password") << QList<int>{1235} << 1234 << false << false;
        QTest::newRow("wrong entry after the factory code") << QList<int>{52806, 7} << 1234 << false << false;
        QTest::newRow("wrong entry after the user password")
            << QList<int>{1234, 4321} << 1234 << false << false;
        QTest::newRow("user password after the factory code")
            << QList<int>{52806, 1234} << 1234 << false << true;
        QTest::newRow("Kilépés after the factory code")
            << QList<int>{52806, kNoEntry} << 1234 << false << false;
        QTest::newRow("stored -1: untouched window") << QList<int>{kNoEntry} << -1 << false << true;
        QTest::newRow("stored -1: Kilépés keeps config")
            << QList<int>{52806, kNoEntry} << -1 << false << true;
        QTest::newRow("nothing stored: 0") << QList<int>{0} << 0 << false << true;
        QTest::newRow("nothing stored: untouched window") << QList<int>{kNoEntry} << 0 << false << false;
        QTest::newRow("factory code stored as user password") << QList<int>{52806} << 52806 << true << true;
        QTest::newRow("negated factory code") << QList<int>{-52806} << 1234 << false << false;
    }

    void evaluation()
    {
        QFETCH(QList<int>, entries);
        QFETCH(int, userPassword);
        QFETCH(bool, factory);
        QFETCH(bool, config);

        AccessLevel level;
        for (int entered : entries)
            level = evaluateAccess(entered, userPassword);

        QCOMPARE(level.factory, factory);
        QCOMPARE(level.user, config);
        QCOMPARE(level.shows("TabSheet_Config"), config);
        for (const QString& name : kFactoryOnly)
            QVERIFY2(level.shows(name.toStdString()) == factory, qPrintable(name));
        // Unprotected pages and controls stay shown at every level.
        for (const char* name : {"TabSheet_Meres", "TabSheet_Errors", "TabSheet_Comm", "Portsbox"})
            QVERIFY2(level.shows(name), name);
    }

    void lockedAtStartFollowsThePageTable()
    {
        // The start-up level hides exactly what the page table does not show to everyone.
        const AccessLevel locked;
        for (const MainPage& page : mainPages())
            QVERIFY2(locked.shows(page.objectName) == (page.access == Access::Everyone), page.objectName);
        for (const ProtectedControl& control : kProtectedControls)
            QVERIFY2(!locked.shows(control.objectName), control.objectName);
    }

    // The stored user password

    void missingStoreReadsZero()
    {
        requireIsolatedStore();
        removeStore();
        const UserPasswordStore::ReadResult r = UserPasswordStore().read();
        QCOMPARE(r.password, 0);
        QCOMPARE(r.error, QString());
        // Reading never creates the store.
        QVERIFY(!QFileInfo::exists(m_storeFile));
    }

    void writeThenRead_data()
    {
        QTest::addColumn<int>("password");
        QTest::newRow("lowest of the edit") << -100000;
        QTest::newRow("highest of the edit") << 100000;
        QTest::newRow("-1") << -1;
        QTest::newRow("0") << 0;
        QTest::newRow("lowest of 32 bits") << std::numeric_limits<int>::min();
        QTest::newRow("highest of 32 bits") << std::numeric_limits<int>::max();
    }

    void writeThenRead()
    {
        requireIsolatedStore();
        QFETCH(int, password);
        QVERIFY(UserPasswordStore().write(password));
        QVERIFY(QFileInfo(m_storeFile).isFile());
        const UserPasswordStore::ReadResult r = UserPasswordStore().read();
        QCOMPARE(r.error, QString());
        QCOMPARE(r.password, password);
    }

    void writeReplacesTheValue()
    {
        requireIsolatedStore();
        writeStoreFile("[General]\nUserPassword=111\nOther=7\n");
        QVERIFY(UserPasswordStore().write(222));
        QCOMPARE(UserPasswordStore().read().password, 222);
        // Other values of the organisation are kept.
        QSettings settings(m_storeFile, QSettings::IniFormat);
        QCOMPARE(settings.value(QStringLiteral("Other")).toInt(), 7);
    }

    void readStoredText_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<int>("password");
        QTest::addColumn<QString>("error");

        const QString missing = QStringLiteral("Failed to get data for 'UserPassword'");
        const QString invalid = QStringLiteral("Invalid data type for 'UserPassword'");
        QTest::newRow("empty store") << QByteArray() << 0 << missing;
        QTest::newRow("other values only") << QByteArray("[General]\nOther=5\n") << 0 << missing;
        QTest::newRow("value in another group") << QByteArray("[Meter]\nUserPassword=5\n") << 0 << missing;
        QTest::newRow("text") << QByteArray("[General]\nUserPassword=abc\n") << 0 << invalid;
        QTest::newRow("empty value") << QByteArray("[General]\nUserPassword=\n") << 0 << invalid;
        QTest::newRow("fraction") << QByteArray("[General]\nUserPassword=1.5\n") << 0 << invalid;
        QTest::newRow("list") << QByteArray("[General]\nUserPassword=1, 2\n") << 0 << invalid;
        QTest::newRow("one beyond 32 bits")
            << QByteArray("[General]\nUserPassword=2147483648\n") << 0 << invalid;
        QTest::newRow("one below 32 bits")
            << QByteArray("[General]\nUserPassword=-2147483649\n") << 0 << invalid;
        QTest::newRow("64-bit") << QByteArray("[General]\nUserPassword=4294967296\n") << 0 << invalid;
        QTest::newRow("lowest of 32 bits") << QByteArray("[General]\nUserPassword=-2147483648\n")
                                           << std::numeric_limits<int>::min() << QString();
        QTest::newRow("beside other values")
            << QByteArray("[General]\nA=1\nUserPassword=52806\nB=x\n") << 52806 << QString();
    }

    void readStoredText()
    {
        requireIsolatedStore();
        QFETCH(QByteArray, contents);
        QFETCH(int, password);
        QFETCH(QString, error);
        writeStoreFile(contents);
        const UserPasswordStore::ReadResult r = UserPasswordStore().read();
        QCOMPARE(r.error, error);
        QCOMPARE(r.password, password);
    }

    void unwritableStoreIsReported()
    {
        requireIsolatedStore();
        // A folder where the file belongs cannot be written, whatever the user's rights.
        QVERIFY(QDir().mkpath(m_storeFile));
        QVERIFY(!UserPasswordStore().write(4321));
        QVERIFY(QFileInfo(m_storeFile).isDir());
    }

    // The password window

    void passwordFormLayout()
    {
        TPasswordForm f;
        QCOMPARE(f.objectName(), QStringLiteral("PasswordForm"));
        QCOMPARE(f.windowTitle(), QStringLiteral("Jelszó"));
        QVERIFY(f.isModal());
        QCOMPARE(f.size(), QSize(230, 108));
        QCOMPARE(f.minimumSize(), f.maximumSize());
        QVERIFY(f.windowFlags() & Qt::CustomizeWindowHint);
        QVERIFY(!(f.windowFlags() &
                  (Qt::WindowCloseButtonHint | Qt::WindowContextHelpButtonHint | Qt::WindowSystemMenuHint)));

        auto* edit = f.findChild<NumericSpin*>(QStringLiteral("Passwordedit"));
        QVERIFY(edit);
        QVERIFY(edit->font().bold());
        QCOMPARE(edit->minimum(), -100000.0);
        QCOMPARE(edit->maximum(), 100000.0);
        QCOMPARE(edit->displayFormat(), QStringLiteral("#0"));
        QCOMPARE(edit->singleStep(), 1.0);
        auto* ok = f.findChild<QPushButton*>(QStringLiteral("Passwokbutton"));
        QVERIFY(ok);
        QCOMPARE(ok->text(), QStringLiteral("OK"));
    }

    void passwordFormCloses_data()
    {
        QTest::addColumn<int>("preset");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("finish"); // the key that ends the entry; 0 for a click on OK
        QTest::addColumn<bool>("closed");
        QTest::addColumn<int>("entered");

        QTest::newRow("OK without typing") << -1 << QString() << 0 << true << -1;
        QTest::newRow("typed, OK") << -1 << "52806" << 0 << true << 52806;
        QTest::newRow("typed, Enter") << -1 << "1234" << int(Qt::Key_Return) << true << 1234;
        QTest::newRow("typed, focus leaves the edit") << -1 << "777" << int(Qt::Key_Tab) << true << 777;
        QTest::newRow("negative typed, focus leaves") << -1 << "-5" << int(Qt::Key_Tab) << true << -5;
        QTest::newRow("beyond the limit is held at it") << -1 << "999999" << 0 << true << 100000;
        QTest::newRow("unchanged, focus leaves the edit")
            << -1 << QString() << int(Qt::Key_Tab) << false << -1;
        QTest::newRow("other preset, unchanged") << 42 << QString() << int(Qt::Key_Tab) << false << 42;
        QTest::newRow("arrow step only") << -1 << QString() << int(Qt::Key_Up) << false << 0;
    }

    void passwordFormCloses()
    {
        QFETCH(int, preset);
        QFETCH(QString, typed);
        QFETCH(int, finish);
        QFETCH(bool, closed);
        QFETCH(int, entered);

        TPasswordForm f;
        f.setEntered(preset);
        QVERIFY(showActive(f));
        auto* edit = f.findChild<NumericSpin*>(QStringLiteral("Passwordedit"));
        // Shown with the focus in the edit and the preset selected, so typing replaces it.
        QCOMPARE(QApplication::focusWidget(), edit);
        QVERIFY(f.isVisible());

        if (!typed.isEmpty())
            QTest::keyClicks(edit, typed);
        if (finish == 0)
            QTest::mouseClick(f.findChild<QPushButton*>(QStringLiteral("Passwokbutton")), Qt::LeftButton);
        else
            QTest::keyClick(QApplication::focusWidget(), Qt::Key(finish));

        QCOMPARE(!f.isVisible(), closed);
        if (closed)
            QCOMPARE(f.result(), int(QDialog::Accepted));
        QCOMPARE(f.entered(), entered);
    }

    void presetNeverCloses()
    {
        // The window presets -1 before every opening, also on a window still shown.
        TPasswordForm f;
        QSignalSpy finished(&f, &QDialog::finished);
        f.setEntered(123);
        f.setEntered(kNoEntry);
        QVERIFY(showActive(f));
        f.setEntered(5);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QVERIFY(f.isVisible());
        QCOMPARE(finished.count(), 0);
        QCOMPARE(f.entered(), 5);
    }

    void reopenedCommitsAgain()
    {
        TPasswordForm f;
        QSignalSpy accepted(&f, &QDialog::accepted);
        for (const char* typed : {"11", "22"}) {
            f.setEntered(kNoEntry);
            QVERIFY(showActive(f));
            QTest::keyClicks(QApplication::focusWidget(), QLatin1String(typed));
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QVERIFY(!f.isVisible());
            QCOMPARE(f.entered(), QByteArray(typed).toInt());
        }
        // Each closing accepted once.
        QCOMPARE(accepted.count(), 2);
    }

    void passwordFormOverTheMainWindow()
    {
        QWidget main;
        main.move(100, 100);
        main.resize(795, 672);
        TPasswordForm f;
        f.placeOver(&main);
        QCOMPARE(f.pos(), QPoint(100 + (795 - 230) / 2, 100 + (672 - 108) / 2));
    }

    // The section window

    void sectionFormLayout()
    {
        TSectionForm f;
        QCOMPARE(f.objectName(), QStringLiteral("SectionForm"));
        QCOMPARE(f.windowTitle(), QStringLiteral("Beállítás kiválasztása"));
        QVERIFY(f.isModal());
        QCOMPARE(f.size(), QSize(230, 120));
        QCOMPARE(f.minimumSize(), f.maximumSize());
        QVERIFY(!(f.windowFlags() &
                  (Qt::WindowCloseButtonHint | Qt::WindowContextHelpButtonHint | Qt::WindowSystemMenuHint)));
        auto* box = f.findChild<QComboBox*>(QStringLiteral("SectionsBox"));
        QVERIFY(box);
        QCOMPARE(box->width(), 197);
        QVERIFY(!box->isEditable());
        auto* ok = f.findChild<QPushButton*>(QStringLiteral("Button1"));
        auto* cancel = f.findChild<QPushButton*>(QStringLiteral("Button2"));
        QVERIFY(ok && cancel);
        QCOMPARE(ok->text(), QStringLiteral("OK"));
        QCOMPARE(cancel->text(), QStringLiteral("Mégsem"));
        QVERIFY(ok->font().bold());
        QVERIFY(cancel->font().bold());
    }

    void sectionFormResult_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("result");
        QTest::newRow("OK") << "Button1" << int(QDialog::Accepted);
        QTest::newRow("Mégsem") << "Button2" << int(QDialog::Rejected);
    }

    void sectionFormResult()
    {
        QFETCH(QString, button);
        QFETCH(int, result);
        TSectionForm f;
        f.setSections({QStringLiteral("1002"), QStringLiteral("1003")});
        QVERIFY(showActive(f));
        f.setResult(-1);
        QTest::mouseClick(f.findChild<QPushButton*>(button), Qt::LeftButton);
        QVERIFY(!f.isVisible());
        QCOMPARE(f.result(), result);
        QCOMPARE(f.selectedSection(), QStringLiteral("1002"));
    }

    void sectionChoice()
    {
        TSectionForm f;
        auto* box = f.findChild<QComboBox*>(QStringLiteral("SectionsBox"));
        QCOMPARE(f.selectedSection(), QString());

        f.setSections({QStringLiteral("1002"), QStringLiteral("1003"), QStringLiteral("1004")});
        QCOMPARE(f.selectedSection(), QStringLiteral("1002"));
        box->setCurrentIndex(2);
        QCOMPARE(f.selectedSection(), QStringLiteral("1004"));

        // A new list replaces the old one and selects its first name again.
        f.setSections({QStringLiteral("2001"), QStringLiteral("2002")});
        QCOMPARE(box->count(), 2);
        QCOMPARE(f.selectedSection(), QStringLiteral("2001"));

        f.setSections({});
        QCOMPARE(box->count(), 0);
        QCOMPARE(f.selectedSection(), QString());
    }

    void sectionFormPlacement_data()
    {
        QTest::addColumn<QRect>("mainWindow");
        QTest::addColumn<QPoint>("first");
        QTest::addColumn<QPoint>("later");
        QTest::newRow("795 x 672 at (100, 100)")
            << QRect(100, 100, 795, 672) << QPoint(100 + (795 - 230) / 2, 100 + (672 - 120) / 2)
            << QPoint(497, 436);
        QTest::newRow("even size at the origin")
            << QRect(0, 0, 800, 600) << QPoint((800 - 230) / 2, (600 - 120) / 2) << QPoint(400, 300);
        QTest::newRow("odd size") << QRect(10, 20, 801, 601)
                                  << QPoint(10 + (801 - 230) / 2, 20 + (601 - 120) / 2) << QPoint(410, 320);
    }

    void sectionFormPlacement()
    {
        QFETCH(QRect, mainWindow);
        QFETCH(QPoint, first);
        QFETCH(QPoint, later);
        QWidget main;
        main.setGeometry(mainWindow);
        TSectionForm f;

        f.placeFor(&main);
        QCOMPARE(f.pos(), first);
        // Placing again before the first opening still centres it.
        f.placeFor(&main);
        QCOMPARE(f.pos(), first);
        QVERIFY(!f.shownBefore());
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        QCOMPARE(f.pos(), first);
        f.reject();

        for (int opening = 2; opening <= 3; ++opening) {
            f.placeFor(&main);
            QCOMPARE(f.pos(), later);
            f.show();
            QVERIFY(QTest::qWaitForWindowExposed(&f));
            QCOMPARE(f.pos(), later);
            f.reject();
        }
    }

    void dialogTextsComeFromTheTable()
    {
        // Every text-table key that names a control of the two windows names exactly one, which
        // shows the key's start text; the keys qualified with a window's name all do.
        TPasswordForm password;
        TSectionForm section;
        const QList<QWidget*> windows = {&password, &section};
        int checked = 0;
        for (const UiText& t : controlTexts()) {
            const QString key = QString::fromLatin1(t.control);
            const QList<QWidget*> found = controlsOfKey(windows, key);
            if (key.contains(QLatin1Char('.')))
                QVERIFY2(!found.isEmpty(), qPrintable(key));
            if (found.isEmpty())
                continue;
            QVERIFY2(found.size() == 1, qPrintable(key));
            bool ok = false;
            QCOMPARE(ControlText::text(found.first(), &ok), QString::fromUtf8(t.start));
            QVERIFY2(ok, qPrintable(key));
            ++checked;
        }
        QCOMPARE(checked, 5);
    }
};

QTEST_MAIN(TstAccess)
#include "tst_access.moc"
