#include "paudiodevices.h"

#include <QtTest>

// Runs on the virtual devices of scripts/audio-env.sh.
class TestPAudioDevices : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void namedDevicesWithDirections_data();
    void namedDevicesWithDirections();
    void everyDeviceHasTheFixedRates();
    void defaults();

private:
    QList<paudio::DeviceRecord> m_devices;
};

void TestPAudioDevices::initTestCase()
{
    QVERIFY2(qEnvironmentVariableIsSet("BRELKO_AUDIO_READY"),
             "run under scripts/with-test-env.sh (virtual audio devices)");
    m_devices = PAudioDevices::deviceList();
    QVERIFY(!m_devices.isEmpty());
}

void TestPAudioDevices::namedDevicesWithDirections_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("input");
    QTest::newRow("microphone") << "Microphone" << true;
    QTest::newRow("speakers") << "Speakers" << false;
    QTest::newRow("virtual card output") << "e2eSoft VAudio" << false;
    QTest::newRow("virtual card input") << "e2eSoft VAudio Line in" << true;
}

void TestPAudioDevices::namedDevicesWithDirections()
{
    QFETCH(QString, name);
    QFETCH(bool, input);
    int hits = 0;
    for (const paudio::DeviceRecord &d : qAsConst(m_devices)) {
        if (d.name != name)
            continue;
        ++hits;
        QCOMPARE(d.isInput, input);
        QVERIFY(d.channels >= 1);
        QVERIFY(d.index >= 0);
        QVERIFY(!d.hostApi.isEmpty());
    }
    QCOMPARE(hits, 1);
}

void TestPAudioDevices::everyDeviceHasTheFixedRates()
{
    const QList<double> rates{8000, 9600, 11025, 12000, 16000, 22050, 24000,
                              32000, 44100, 48000, 88200, 96000, 192000};
    for (const paudio::DeviceRecord &d : qAsConst(m_devices))
        QCOMPARE(d.sampleRates, rates);
}

void TestPAudioDevices::defaults()
{
    bool inFound = false, outFound = false;
    const paudio::DeviceRecord in = PAudioDevices::defaultInputDevice(&inFound);
    const paudio::DeviceRecord out = PAudioDevices::defaultOutputDevice(&outFound);
    QVERIFY(inFound);
    QVERIFY(outFound);
    QVERIFY(in.isInput && in.isDefault);
    // The duplex default device is listed as an input but still answers as the default output.
    QVERIFY(out.index >= 0);
    QVERIFY(out.isDefault);
}

QTEST_GUILESS_MAIN(TestPAudioDevices)
#include "tst_paudiodevices.moc"
