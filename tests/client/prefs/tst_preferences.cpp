#include "client/audio/paudiodevices.h"
#include "client/ports/vserial.h"
#include "client/prefs/audiotab.h"
#include "client/prefs/languagetab.h"
#include "client/prefs/networktab.h"
#include "client/prefs/preferences.h"
#include "client/prefs/serialtab.h"
#include "common/settings.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

using namespace brelko;
using namespace morvex;

namespace {
// Answers the next modal message box: records its title and text, clicks the button.
struct BoxAnswer
{
    QString title, text;
    bool seen = false;
};

void answerNextBox(BoxAnswer *answer, QMessageBox::StandardButton button)
{
    QTimer::singleShot(0, [answer, button] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box) {
            answerNextBox(answer, button);
            return;
        }
        answer->seen = true;
        answer->title = box->windowTitle();
        answer->text = box->text();
        if (QAbstractButton *b = box->button(button))
            b->click();
        else
            box->close();
    });
}

void clearNetworkSettings()
{
    Settings *s = Settings::instance();
    for (Settings::Key k : { Settings::NetworkAddr, Settings::NetworkPass, Settings::NetworkTxBuffer,
             Settings::NetworkCmdPort, Settings::NetworkRtpPort, Settings::NetworkPttCwPort })
        s->setValue(k, Settings::Network, QVariant());
}
} // namespace

// Real widgets (offscreen), real pseudo-terminal ports, real sound devices.
class TestPreferences : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init() { clearNetworkSettings(); }
    void networkPlaceholdersAndDefaults();
    void leavingChangedTabAsks_data();
    void leavingChangedTabAsks();
    void openedLocationAppliesAtOnce();
    void importedLocationOnlyFillsFields();
    void exportWritesSixKeys();
    void brokenLocationKeysLeaveWidgets();
    void applyOkCancel();
    void serialListsAndVirtualPorts();
    void audioDevicesAndVirtualCard();
    void missingVirtualCardReported();
    void duplexDevicesAndServerDefault();
    void rxBufferingRange_data();
    void rxBufferingRange();
    void languageTab();
    void badInput();
    void screenshots();

private:
    QTemporaryDir m_dir;
};

void TestPreferences::initTestCase()
{
    QVERIFY(m_dir.isValid());
    // A fresh store for every run.
    Settings::setDefaultFile(m_dir.filePath("Morvex.ini"));
    qRegisterMetaType<AbstractTab::Tab>("AbstractTab::Tab");
    QVERIFY2(qEnvironmentVariableIsSet("BRELKO_AUDIO_READY"),
        "run under scripts/with-test-env.sh (virtual audio devices)");
}

void TestPreferences::networkPlaceholdersAndDefaults()
{
    Preferences prefs;
    NetworkTab *net = prefs.networkTab();
    QCOMPARE(net->address(), QString("enter IP address or domain name"));
    QCOMPARE(net->password(), QString("fill this"));
    QCOMPARE(net->passwordEdit()->echoMode(), QLineEdit::Normal);
    QCOMPARE(net->txBuffering(), 200);
    QCOMPARE(prefs.txBufferingSteps(), 10);
    QCOMPARE(net->cmdPort(), 11000);
    QCOMPARE(net->rtpPort(), 11000);
    QCOMPARE(net->pttCwPort(), 8765);
    QVERIFY(!prefs.applyButton()->isEnabled());
    prefs.tabs()->setCurrentWidget(net);

    // Slider snapping.
    net->bufferSlider()->setValue(333);
    QCOMPARE(net->txBuffering(), 320);
    QCOMPARE(net->bufferLabelText(), QString("320"));
    QVERIFY(prefs.applyButton()->isEnabled());

    // The placeholders are real text: applying stores them.
    prefs.applyButton()->click();
    QCOMPARE(Settings::instance()->value(Settings::NetworkPass, Settings::Network).toString(),
        QString("fill this"));
    QCOMPARE(Settings::instance()->value(Settings::NetworkTxBuffer, Settings::Network).toInt(), 320);
}

void TestPreferences::leavingChangedTabAsks_data()
{
    QTest::addColumn<bool>("apply");
    QTest::newRow("discard") << false;
    QTest::newRow("apply") << true;
}

void TestPreferences::leavingChangedTabAsks()
{
    QFETCH(bool, apply);
    Settings::instance()->setValue(Settings::NetworkAddr, Settings::Network, "10.1.1.1");
    Preferences prefs;
    QSignalSpy applied(&prefs, &Preferences::apply);
    prefs.tabs()->setCurrentWidget(prefs.networkTab());
    prefs.networkTab()->addressEdit()->setText("brelko.example.net");

    BoxAnswer answer;
    answerNextBox(&answer, apply ? QMessageBox::Apply : QMessageBox::Discard);
    prefs.tabs()->setCurrentWidget(prefs.audioTab());
    QVERIFY(answer.seen);
    QCOMPARE(answer.title, QString("Apply changes"));
    QCOMPARE(answer.text, QString("Would you like to apply changes at the Network tab?"));
    QCOMPARE(prefs.tabs()->currentWidget(), prefs.networkTab());
    if (apply) {
        QCOMPARE(applied.count(), 1);
        QCOMPARE(applied.first().first().value<AbstractTab::Tab>(), AbstractTab::Network);
        QCOMPARE(Settings::instance()->value(Settings::NetworkAddr, Settings::Network).toString(),
            QString("brelko.example.net"));
    } else {
        QCOMPARE(applied.count(), 0);
        QCOMPARE(prefs.networkTab()->address(), QString("10.1.1.1"));
        QCOMPARE(Settings::instance()->value(Settings::NetworkAddr, Settings::Network).toString(),
            QString("10.1.1.1"));
    }
    // Now clean: switching goes through without asking.
    prefs.tabs()->setCurrentWidget(prefs.audioTab());
    QCOMPARE(prefs.tabs()->currentWidget(), prefs.audioTab());
}

void TestPreferences::openedLocationAppliesAtOnce()
{
    const QString path = m_dir.filePath("home.brelkonet");
    {
        QSettings ini(path, QSettings::IniFormat);
        ini.setValue("NetworkAddr", "192.0.2.7");
        ini.setValue("NetworkPass", "se;cret");
        ini.setValue("TxBuffering", 250);
        ini.setValue("NetworkCmdPort", 12000);
        ini.setValue("NetworkRtpPort", 12001);
        ini.setValue("NetworkPttCwPort", 12002);
    }
    Preferences prefs;
    QSignalSpy applied(&prefs, &Preferences::apply);
    prefs.networkTab()->openFile(m_dir.filePath("missing.brelkonet"));
    QCOMPARE(applied.count(), 0);

    prefs.networkTab()->openFile(path);
    QCOMPARE(applied.count(), 1);
    QCOMPARE(applied.first().first().value<AbstractTab::Tab>(), AbstractTab::Network);
    QCOMPARE(prefs.networkAddress(), QString("192.0.2.7"));
    QCOMPARE(prefs.networkTab()->txBuffering(), 240);
    QCOMPARE(prefs.networkTab()->bufferLabelText(), QString("240"));
    Settings *s = Settings::instance();
    QCOMPARE(s->value(Settings::NetworkTxBuffer, Settings::Network).toInt(), 240);
    QCOMPARE(s->value(Settings::NetworkPass, Settings::Network).toString(), QString("se;cret"));
    QCOMPARE(s->value(Settings::NetworkPttCwPort, Settings::Network).toInt(), 12002);
    QVERIFY(!prefs.networkTab()->isChanged());

    // A ";" in the password does not shift the other fields on revert.
    prefs.networkTab()->passwordEdit()->setText("x");
    prefs.networkTab()->revertState();
    QCOMPARE(prefs.networkPassword(), QString("se;cret"));
    QCOMPARE(prefs.cmdPort(), 12000);
}

void TestPreferences::importedLocationOnlyFillsFields()
{
    const QString path = m_dir.filePath("field.brelkonet");
    {
        QSettings ini(path, QSettings::IniFormat);
        ini.setValue("NetworkAddr", "field.example.org");
        ini.setValue("NetworkCmdPort", 4000);
    }
    Preferences prefs;
    QSignalSpy applied(&prefs, &Preferences::apply);
    QString askedTitle, askedFilter;
    prefs.networkTab()->setFileChooser([&](bool save, const QString &title, const QString &filter) {
        askedTitle = title;
        askedFilter = filter;
        return save ? QString() : path;
    });
    prefs.networkTab()->importSettings();
    QCOMPARE(askedTitle, QString("Import location file"));
    QCOMPARE(askedFilter, QString("*.brelkonet"));
    QCOMPARE(applied.count(), 0);
    QCOMPARE(prefs.networkAddress(), QString("field.example.org"));
    QCOMPARE(prefs.cmdPort(), 4000);
    QCOMPARE(prefs.rtpPort(), 11000); // missing key: unchanged
    QVERIFY(prefs.networkTab()->isChanged());
    QVERIFY(prefs.applyButton()->isEnabled());
    QVERIFY(!Settings::instance()->value(Settings::NetworkAddr, Settings::Network).isValid());
}

void TestPreferences::exportWritesSixKeys()
{
    const QString path = m_dir.filePath("out.brelkonet");
    Preferences prefs;
    NetworkTab *net = prefs.networkTab();
    net->addressEdit()->setText("203.0.113.9");
    net->passwordEdit()->setText("pw");
    net->bufferSlider()->setValue(480);
    net->cmdPortBox()->setValue(1);
    net->rtpPortBox()->setValue(2);
    net->pttCwPortBox()->setValue(3);
    QString title;
    net->setFileChooser([&](bool save, const QString &t, const QString &) {
        title = t;
        return save ? path : QString();
    });
    net->exportSettings();
    QCOMPARE(title, QString("Export location file"));
    QSettings ini(path, QSettings::IniFormat);
    QCOMPARE(ini.allKeys().size(), 6);
    QCOMPARE(ini.value("NetworkAddr").toString(), QString("203.0.113.9"));
    QCOMPARE(ini.value("NetworkPass").toString(), QString("pw"));
    QCOMPARE(ini.value("TxBuffering").toInt(), 480);
    QCOMPARE(ini.value("NetworkCmdPort").toInt(), 1);
    QCOMPARE(ini.value("NetworkRtpPort").toInt(), 2);
    QCOMPARE(ini.value("NetworkPttCwPort").toInt(), 3);
}

void TestPreferences::brokenLocationKeysLeaveWidgets()
{
    const QString path = m_dir.filePath("broken.brelkonet");
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("[General]\nNetworkCmdPort=abc\nTxBuffering=\nNetworkRtpPort=99999999999\n\x01\x02garbage\n");
    f.close();
    Preferences prefs;
    prefs.networkTab()->cmdPortBox()->setValue(5555);
    prefs.networkTab()->openFile(path);
    QCOMPARE(prefs.cmdPort(), 5555);
    QCOMPARE(prefs.networkTab()->txBuffering(), 200);
    QCOMPARE(prefs.rtpPort(), 11000);
}

void TestPreferences::applyOkCancel()
{
    Preferences prefs;
    QSignalSpy applied(&prefs, &Preferences::apply);
    prefs.tabs()->setCurrentWidget(prefs.networkTab());
    prefs.networkTab()->pttCwPortBox()->setValue(9000);
    QVERIFY(prefs.applyButton()->isEnabled());
    // Cancel reverts and closes.
    QTest::mouseClick(
        prefs.findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Cancel), Qt::LeftButton);
    QCOMPARE(prefs.pttCwPort(), 8765);
    QCOMPARE(prefs.result(), int(QDialog::Rejected));
    QCOMPARE(applied.count(), 0);

    // OK applies (the signal first) and accepts.
    prefs.networkTab()->pttCwPortBox()->setValue(9001);
    prefs.findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
    QCOMPARE(applied.count(), 1);
    QCOMPARE(prefs.result(), int(QDialog::Accepted));
    QCOMPARE(Settings::instance()->value(Settings::NetworkPttCwPort, Settings::Network).toInt(), 9001);
    QVERIFY(!prefs.applyButton()->isEnabled());

    // Apply on a clean tab saves but does not signal.
    prefs.applyButton()->setEnabled(true);
    prefs.applyButton()->click();
    QCOMPARE(applied.count(), 1);
}

void TestPreferences::serialListsAndVirtualPorts()
{
    VSerial port;
    QVERIFY(port.isLoaded());
    QVERIFY(port.createPort("COM7"));
    Settings::instance()->setValue(Settings::Serial_2, Settings::Serial, "COM7");
    Settings::instance()->setValue(Settings::Serial_1, Settings::Serial, "COM3");

    Preferences prefs;
    SerialTab *tab = prefs.serialTab();
    QComboBox *cat = tab->combo(0);
    QCOMPARE(cat->count(), 256);
    QCOMPARE(cat->itemText(0), QString("None"));
    QCOMPARE(cat->itemData(0).toInt(), 0);
    QCOMPARE(cat->itemText(1), QString("COM1"));
    QCOMPARE(cat->itemData(255).toInt(), 255);
    QCOMPARE(cat->itemText(7), QString("*COM7"));
    QCOMPARE(cat->currentText(), QString("COM3"));
    QCOMPARE(tab->combo(1)->currentText(), QString("*COM7")); // stored without the star
    QCOMPARE(tab->combo(2)->currentText(), QString("None"));
    QCOMPARE(prefs.serialPorts(), (QStringList { "COM3", "COM7", "None", "None", "None" }));
    QCOMPARE(tab->stateText(), QString("COM3;*COM7;None;None;None;0;"));

    prefs.tabs()->setCurrentWidget(tab);
    tab->combo(4)->setCurrentIndex(7);
    prefs.applyButton()->click();
    QCOMPARE(Settings::instance()->value(Settings::Serial_5, Settings::Serial).toString(), QString("COM7"));

    tab->resetAllPorts();
    QCOMPARE(VSerial::countVirtualPorts(), 0);
    QCOMPARE(cat->itemText(7), QString("COM7"));
}

void TestPreferences::audioDevicesAndVirtualCard()
{
    Preferences prefs;
    AudioTab *audio = prefs.audioTab();
    QStringList inputs, outputs;
    for (int i = 0; i < audio->inputCombo()->count(); ++i)
        inputs << audio->inputCombo()->itemText(i);
    for (int i = 0; i < audio->outputCombo()->count(); ++i)
        outputs << audio->outputCombo()->itemText(i);
    QVERIFY2(inputs.contains("Microphone"), qPrintable(inputs.join(',')));
    QVERIFY(outputs.contains("Speakers"));
    QVERIFY(!inputs.join(',').contains("VAudio"));
    QVERIFY(!outputs.join(',').contains("VAudio"));

    int vin = -1, vout = -1;
    for (const paudio::DeviceRecord &d : PAudioDevices::deviceList()) {
        if (d.name == "e2eSoft VAudio Line in")
            vin = d.index;
        if (d.name == "e2eSoft VAudio")
            vout = d.index;
    }
    QCOMPARE(prefs.virtualInput(), vin);
    QCOMPARE(prefs.virtualOutput(), vout);
    QCOMPARE(prefs.sampleRate(), 12000);
    QCOMPARE(prefs.codec(), 0);

    // Choose devices, apply, and a new dialog finds them again.
    prefs.tabs()->setCurrentWidget(audio);
    audio->inputCombo()->setCurrentText("Microphone");
    audio->outputCombo()->setCurrentText("Speakers");
    audio->bufferSlider()->setValue(1010);
    QCOMPARE(prefs.rxBuffering(), 1000);
    prefs.applyButton()->click();
    Preferences again;
    QCOMPARE(again.audioTab()->inputCombo()->currentText(), QString("Microphone"));
    QCOMPARE(again.audioTab()->outputCombo()->currentText(), QString("Speakers"));
    QCOMPARE(again.audioInput(), audio->inputCombo()->currentData().toInt());
    QCOMPARE(again.rxBuffering(), 1000);
    QCOMPARE(again.audioTab()->stateText(), QString("Microphone;Speakers;1000;12000;PCM;"));
}

// The duplex headset of the test environment is offered both ways; with no
// device named in the settings, the sound server's default is chosen.
void TestPreferences::duplexDevicesAndServerDefault()
{
    Settings *s = Settings::instance();
    s->setValue(Settings::AudioInput, Settings::Audio, QVariant());
    s->setValue(Settings::AudioOutput, Settings::Audio, QVariant());
    Preferences prefs;
    AudioTab *audio = prefs.audioTab();
    QVERIFY(audio->inputCombo()->findText("Headset") >= 0);
    QVERIFY(audio->outputCombo()->findText("Headset") >= 0);
    QCOMPARE(audio->outputCombo()->currentText(), QString("default"));
    QCOMPARE(audio->inputCombo()->currentText(), QString("default"));
    bool found = false;
    QCOMPARE(prefs.audioOutput(), PAudioDevices::defaultOutputDevice(&found).index);
    QVERIFY(found);

    // Named in the settings, the headset is the output.
    s->setValue(Settings::AudioOutput, Settings::Audio, "Headset");
    Preferences again;
    QCOMPARE(again.audioTab()->outputCombo()->currentText(), QString("Headset"));
    QCOMPARE(again.audioOutput(),
        audio->outputCombo()->itemData(audio->outputCombo()->findText("Headset")).toInt());
}

void TestPreferences::rxBufferingRange_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<int>("shown");
    QTest::newRow("lowest") << QVariant(40) << 40;
    QTest::newRow("below the lowest") << QVariant(20) << 40;
    QTest::newRow("negative") << QVariant(-100) << 40;
    QTest::newRow("old lowest") << QVariant(200) << 200;
    QTest::newRow("off the step") << QVariant(1010) << 1000;
    QTest::newRow("highest") << QVariant(3000) << 3000;
    QTest::newRow("above the highest") << QVariant(99999) << 3000;
    QTest::newRow("not a number") << QVariant("fast") << 200;
    QTest::newRow("absent") << QVariant() << 200;
}

void TestPreferences::rxBufferingRange()
{
    QFETCH(QVariant, stored);
    QFETCH(int, shown);
    Settings::instance()->setValue(Settings::AudioBuffer, Settings::Audio, stored);
    Preferences prefs;
    QCOMPARE(prefs.rxBuffering(), shown);
    QCOMPARE(prefs.audioTab()->bufferLabelText(), QString::number(shown));
    QCOMPARE(prefs.audioTab()->bufferSlider()->value(), shown);
}

void TestPreferences::missingVirtualCardReported()
{
    auto withoutCard = [] {
        QList<paudio::DeviceRecord> list = PAudioDevices::deviceList();
        list.erase(std::remove_if(list.begin(), list.end(),
                       [](const paudio::DeviceRecord &d) { return d.name.contains("VAudio"); }),
            list.end());
        return list;
    };
    BoxAnswer answer;
    answerNextBox(&answer, QMessageBox::Ok);
    AudioTab tab(nullptr, withoutCard);
    QVERIFY(answer.seen);
    QCOMPARE(answer.title, QString("Error"));
    QCOMPARE(answer.text,
        QString("Your system does not have Virtual Sound Card.\nPlease reinstall your software."));
    QCOMPARE(tab.virtualInput(), -1);
    QCOMPARE(tab.virtualOutput(), -1);
    QVERIFY(tab.inputCombo()->count() > 0); // still usable
}

void TestPreferences::languageTab()
{
    Preferences prefs;
    LanguageTab *tab = prefs.languageTab();
    QCOMPARE(tab->languageCombo()->itemText(0), QString("English"));
    QSignalSpy spy(tab, &LanguageTab::switchLanguage);
    tab->languageCombo()->activated(0);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.first().first().toString(), QString("English"));
    prefs.tabs()->setCurrentWidget(tab);
    tab->autoRunBox()->setChecked(true);
    prefs.applyButton()->click();
    QCOMPARE(Settings::instance()->value(Settings::AutoRun).toBool(), true);
    QCOMPARE(Settings::instance()->value(Settings::Language).toString(), QString("English"));
}

void TestPreferences::badInput()
{
    Preferences prefs;
    prefs.networkTab()->addressEdit()->setText("keep.example");
    // Empty, binary and huge location files.
    const QString empty = m_dir.filePath("empty.brelkonet");
    QFile(empty).open(QIODevice::WriteOnly);
    const QString binary = m_dir.filePath("binary.brelkonet");
    {
        QFile f(binary);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QByteArray junk(4096, '\0');
        for (int i = 0; i < junk.size(); ++i)
            junk[i] = char((i * 131) ^ (i >> 3));
        f.write(junk);
    }
    const QString huge = m_dir.filePath("huge.brelkonet");
    {
        QFile f(huge);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("[General]\nNetworkAddr=" + QByteArray(8 * 1024 * 1024, 'a') + "\nNetworkCmdPort=7\n");
    }
    for (const QString &path : { empty, binary }) {
        prefs.networkTab()->openFile(path);
        QCOMPARE(prefs.networkAddress(), QString("keep.example"));
        QCOMPARE(prefs.cmdPort(), 11000);
    }
    prefs.networkTab()->openFile(huge);
    QCOMPARE(prefs.networkAddress().size(), 32767); // the line edit keeps at most this much
    QCOMPARE(prefs.cmdPort(), 7);

    // A stored port that is not in the list keeps the combo's choice.
    Settings::instance()->setValue(Settings::Serial_3, Settings::Serial, "COM999");
    Settings::instance()->setValue(Settings::Serial_4, Settings::Serial, "/dev/ttyS0");
    Preferences again;
    QCOMPARE(again.serialTab()->combo(2)->currentText(), QString("None"));
    QCOMPARE(again.serialTab()->combo(3)->currentText(), QString("None"));

    // No sound devices at all: the error box, and an empty but usable tab.
    BoxAnswer answer;
    answerNextBox(&answer, QMessageBox::Ok);
    AudioTab none(nullptr, [] { return QList<paudio::DeviceRecord>(); });
    QVERIFY(answer.seen);
    QCOMPARE(none.inputCombo()->count(), 0);
    QCOMPARE(none.inputDevice(), -1);
    QCOMPARE(none.outputDevice(), -1);
    none.saveSettings();
}

void TestPreferences::screenshots()
{
    // For a person to look at; not compared.
    const QString dir = qEnvironmentVariable("BRELKO_TEST_HOME", m_dir.path()) + "/screenshots";
    QVERIFY(QDir().mkpath(dir));
    Preferences prefs;
    prefs.resize(560, 460);
    prefs.show();
    const QStringList names { "serial", "network", "audio", "general" };
    for (int i = 0; i < prefs.tabs()->count(); ++i) {
        prefs.tabs()->setCurrentIndex(i);
        QVERIFY(prefs.grab().save(dir + "/preferences_" + names.at(i) + ".png"));
    }
    qInfo("screenshots in %s", qPrintable(dir));
}

QTEST_MAIN(TestPreferences)
#include "tst_preferences.moc"
