// The Permissions tab and its rows against the simulated device.

#include "common/settings.h"
#include "configurator/hidinterface.h"
#include "configurator/permission.h"
#include "configurator/permitem.h"
#include "tests/configurator/testsupport.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QSettings>
#include <QSpinBox>
#include <QtTest>

#include <memory>

using namespace brelko;
using namespace configurator;

using namespace TestSupport;

class TstPermissionTab : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void freshRowAndItsRules();
    void slotFromDevice();
    void applyWritesEverySlot();
    void passwordFillsItsField();
    void settingsRoundTripAndBadFiles();
    void failuresLeaveADebugLine();
    void screenshot();

private:
    std::unique_ptr<Permission> makeTab();

    HidSimThread m_sim;
    BoxWatcher *m_boxes = nullptr;
    HidInterface m_hidIf;
};

void TstPermissionTab::initTestCase()
{
    QVERIFY2(preloaded(), "run through ctest: the simulated hidapi must be preloaded");
    QVERIFY(m_sim.start(hidSocketPath()));
    m_boxes = new BoxWatcher(this);
    Settings::instance()->setFile(testHome() + "/config.ini");
}

void TstPermissionTab::init()
{
    for (const char *c : { "plug", "factory", "silent off", "unplug-after 0", "clearlog" })
        m_sim.control(QString::fromLatin1(c));
    m_boxes->rearm();
}

std::unique_ptr<Permission> TstPermissionTab::makeTab()
{
    auto tab = std::make_unique<Permission>();
    tab->setHidInterface(&m_hidIf);
    tab->setDeviceIds(HidInterface::kVendorId, HidInterface::kProductId, HidInterface::kReleaseNumber);
    return tab;
}

void TstPermissionTab::freshRowAndItsRules()
{
    PermItem row(true);
    QCOMPARE(row.workTimeBox()->value(), 1);
    QCOMPARE(row.pauseTimeBox()->value(), 1);
    QCOMPARE(row.workTimeBox()->text(), QStringLiteral("1 min"));
    QCOMPARE(row.flags(), quint8(0));
    QVERIFY(row.enableBox()->isEnabled());
    for (QWidget *w : { static_cast<QWidget *>(row.passwordEdit()), static_cast<QWidget *>(row.workTimeBox()),
             static_cast<QWidget *>(row.pauseTimeBox()), static_cast<QWidget *>(row.catBox()),
             static_cast<QWidget *>(row.pttBox()), static_cast<QWidget *>(row.audioBox()) })
        QVERIFY(!w->isEnabled());
    QCOMPARE(row.passwordEdit()->maxLength(), 60);
    QCOMPARE(row.workTimeBox()->maximum(), 9999);

    row.show();
    QTest::mouseClick(row.enableBox(), Qt::LeftButton, {}, QPoint(2, row.enableBox()->height() / 2));
    QVERIFY(row.enableBox()->isChecked());
    QVERIFY(row.catBox()->isEnabled() && row.workTimeBox()->isEnabled() && row.passwordEdit()->isEnabled());
    for (QCheckBox *b : { row.catBox(), row.pttBox(), row.audioBox() })
        QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(2, b->height() / 2));
    QCOMPARE(row.flags(), quint8(0x0F));
    QVERIFY(!row.workTimeBox()->isEnabled());
    QVERIFY(!row.pauseTimeBox()->isEnabled());
    QTest::mouseClick(row.pttBox(), Qt::LeftButton, {}, QPoint(2, row.pttBox()->height() / 2));
    QVERIFY(row.workTimeBox()->isEnabled());
    QVERIFY(row.pauseTimeBox()->isEnabled());
    QTest::mouseClick(row.enableBox(), Qt::LeftButton, {}, QPoint(2, row.enableBox()->height() / 2));
    QVERIFY(!row.catBox()->isEnabled() && !row.workTimeBox()->isEnabled());
}

void TstPermissionTab::slotFromDevice()
{
    m_sim.control("slot 3 0x0F 30 5 secret");
    m_sim.control("slot 5 0x03 120 10 cat-only");
    auto tab = makeTab();
    QVERIFY(tab->loadData());
    PermItem *row = tab->item(3);
    QVERIFY(row->enableBox()->isChecked());
    QVERIFY(row->catBox()->isChecked() && row->pttBox()->isChecked() && row->audioBox()->isChecked());
    QCOMPARE(row->workTimeBox()->text(), QStringLiteral("30 min"));
    QCOMPARE(row->pauseTimeBox()->text(), QStringLiteral("5 min"));
    QVERIFY(!row->workTimeBox()->isEnabled());
    QVERIFY(!row->pauseTimeBox()->isEnabled());
    QCOMPARE(row->passwordEdit()->text(), QStringLiteral("secret"));
    QCOMPARE(tab->item(5)->flags(), quint8(0x03));
    QVERIFY(tab->item(5)->workTimeBox()->isEnabled());
    QVERIFY(!tab->item(0)->catBox()->isEnabled());
    QVERIFY(tab->item(7) == nullptr && tab->item(-1) == nullptr);

    QStringList expected;
    for (int i = 0; i < 7; ++i)
        expected << QStringLiteral("get 29 %1").arg(i) << QStringLiteral("get 30 %1").arg(i);
    QCOMPARE(requests(m_sim), expected);
    QVERIFY(m_boxes->boxes.isEmpty());
}

void TstPermissionTab::applyWritesEverySlot()
{
    auto tab = makeTab();
    QSignalSpy status(tab.get(), &AbstractTab::statusMessage);
    tab->item(1)->setFlags(0x05);
    tab->item(1)->setTimes(45, 15);
    tab->item(1)->setPassword("op2");
    tab->applyData();
    const QStringList log = requests(m_sim);
    QCOMPARE(log.size(), 14);
    QCOMPARE(log.value(2), QStringLiteral("set 29 1 5 45 15"));
    QCOMPARE(log.value(3), QStringLiteral("set 30 1 op2"));
    QCOMPARE(log.value(0), QStringLiteral("set 29 0 0 1 1"));
    QCOMPARE(status.value(0).value(0).toString(), QStringLiteral("Settings are applied"));

    // A write failure in the middle stops there; earlier slots stay written.
    m_sim.control("clearlog");
    m_sim.control("unplug-after 5");
    tab->applyData();
    QCOMPARE(requests(m_sim).size(), 5);
    QCOMPARE(m_boxes->boxes.size(), 1);
    QVERIFY(m_boxes->boxes[0].text.startsWith("Can't write data to the Zentrik Brelko interface."));
    QVERIFY(!m_hidIf.isOpen());
}

void TstPermissionTab::passwordFillsItsField()
{
    const QString sixty = QStringLiteral("abcdefghij").repeated(6);
    PermItem row(false);
    // At the limit, one below, one above.
    row.setPassword(sixty.left(59));
    QCOMPARE(row.password(), sixty.left(59));
    row.setPassword(sixty);
    QCOMPARE(row.password(), sixty);
    row.setPassword(sixty + "x");
    QCOMPARE(row.password(), sixty);
    row.setPassword(sixty + "overflow");
    QCOMPARE(row.password(), sixty); // the field takes 60 characters
    const QByteArray r = row.passwordRequest(4);
    QCOMPARE(r.size(), 65);
    QCOMPARE(quint8(r[1]), quint8(0x03));
    QCOMPARE(quint8(r[2]), quint8(30));
    QCOMPARE(quint8(r[3]), quint8(4));
    QCOMPARE(r.mid(4, 60), sixty.toLatin1());
    QCOMPARE(quint8(r[64]), quint8(0));
    row.setPassword("ab");
    QCOMPARE(row.passwordRequest(0).mid(6), QByteArray(59, '\0'));

    const QByteArray slot = [] {
        PermItem item(false);
        item.setFlags(0x0F);
        item.setTimes(30, 5);
        return item.slotRequest(6);
    }();
    QCOMPARE(slot.mid(1, 12), QByteArray("\x03\x1d\x06\x0f\x1e\x00\x00\x00\x05\x00\x00\x00", 12));

    // Through the device and back.
    auto tab = makeTab();
    tab->item(6)->setFlags(0x01);
    tab->item(6)->setPassword(sixty);
    tab->applyData();
    QCOMPARE(m_sim.control("slot 6").section(' ', 3), sixty);
    tab->item(6)->setPassword(QString());
    QVERIFY(tab->loadData());
    QCOMPARE(tab->item(6)->password(), sixty);
}

void TstPermissionTab::settingsRoundTripAndBadFiles()
{
    const QString file = testHome() + "/perm.ini";
    QFile::remove(file);
    Settings::instance()->setFile(file);
    auto tab = makeTab();
    tab->item(2)->setFlags(0x0B);
    tab->item(2)->setTimes(90, 30);
    tab->item(2)->setPassword("guest");
    tab->saveToSettings();
    Settings::instance()->sync();
    {
        QSettings ini(file, QSettings::IniFormat);
        QCOMPARE(ini.value("Permission/PermEnable2").toString(), QStringLiteral("true"));
        QCOMPARE(ini.value("Permission/PermPassword2").toString(), QStringLiteral("guest"));
        QCOMPARE(ini.value("Permission/PermWorkTime2").toInt(), 90);
        QCOMPARE(ini.value("Permission/PermPauseTime2").toInt(), 30);
        QCOMPARE(ini.value("Permission/PermCAT2").toString(), QStringLiteral("true"));
        QCOMPARE(ini.value("Permission/PermPTT2").toString(), QStringLiteral("false"));
        QCOMPARE(ini.value("Permission/PermAudio2").toString(), QStringLiteral("true"));
    }
    auto other = makeTab();
    other->loadFromSettings();
    QCOMPARE(other->item(2)->flags(), quint8(0x0B));
    QCOMPARE(other->item(2)->workTime(), 90u);
    QCOMPARE(other->item(2)->password(), QStringLiteral("guest"));
    QVERIFY(other->item(2)->workTimeBox()->isEnabled()); // PTT missing: limited

    // Garbage and missing keys keep what the rows show; out of range clamps.
    {
        QSettings ini(file, QSettings::IniFormat);
        ini.clear();
        ini.setValue("Permission/PermEnable0", "maybe");
        ini.setValue("Permission/PermWorkTime0", "-5");
        ini.setValue("Permission/PermPauseTime0", "100000");
        ini.setValue("Permission/PermCAT0", "true");
        ini.setValue("Permission/PermPassword1", QString(200, 'p'));
    }
    Settings::instance()->setFile(testHome() + "/config.ini");
    Settings::instance()->setFile(file);
    other->item(0)->setFlags(0x01);
    other->item(0)->setTimes(7, 8);
    other->loadFromSettings();
    QCOMPARE(other->item(0)->flags(), quint8(0x03));
    QCOMPARE(other->item(0)->workTime(), 7u);
    QCOMPARE(other->item(0)->pauseTime(), 9999u);
    QCOMPARE(other->item(1)->password().size(), 60);
    QCOMPARE(other->item(2)->flags(), quint8(0x0B)); // no keys at all for slot 2
    Settings::instance()->setFile(testHome() + "/config.ini");
}

void TstPermissionTab::failuresLeaveADebugLine()
{
    auto tab = makeTab();
    LogCapture log;
    m_sim.control("unplug");
    QVERIFY(!tab->loadData());
    QVERIFY(log.contains("Can't m_hidIf open in"));
    m_sim.control("plug");
    m_sim.control("silent on");
    QVERIFY(!tab->loadData());
    QVERIFY(log.contains("Can't m_hidIf read in"));
    QVERIFY(log.contains("line="));
    QCOMPARE(m_boxes->boxes.size(), 2);
    QVERIFY(!m_hidIf.isOpen());
}

void TstPermissionTab::screenshot()
{
    m_sim.control("slot 0 0x0F 30 5 operator");
    m_sim.control("slot 1 0x07 60 15 guest");
    auto tab = makeTab();
    QVERIFY(tab->loadData());
    tab->resize(760, 420);
    tab->show();
    QVERIFY(QTest::qWaitForWindowExposed(tab.get()));
    const QString dir = testHome() + "/screenshots";
    QDir().mkpath(dir);
    QVERIFY(tab->grab().save(dir + "/permissions.png"));
}

QTEST_MAIN(TstPermissionTab)
#include "tst_permissiontab.moc"
