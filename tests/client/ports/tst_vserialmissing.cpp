#include "client/ports/vserial.h"

#include <QtTest>

using namespace morvex;

// VSPORT_PTMX points nowhere: the component counts as not installed.
class TestVSerialMissing : public QObject
{
    Q_OBJECT

private slots:
    void constructionWarns();
    void operationsFallBack();
    void classOperationsFallBack();
};

void TestVSerialMissing::constructionWarns()
{
    QTest::ignoreMessage(QtWarningMsg, "Warning! Can't load  VSPort.VSPortAx.1");
    VSerial dev;
    QVERIFY(!dev.isLoaded());
    QVERIFY(dev.portName().isEmpty());
}

void TestVSerialMissing::operationsFallBack()
{
    QTest::ignoreMessage(QtWarningMsg, "Warning! Can't load  VSPort.VSPortAx.1");
    VSerial dev;
    const char *doesntLoad = "Warning!  VSPort.VSPortAx.1  doesn't load.";

    QTest::ignoreMessage(QtWarningMsg, doesntLoad);
    QCOMPARE(dev.createPort(QStringLiteral("COM5")), false);
    QVERIFY(dev.portName().isEmpty());
    QTest::ignoreMessage(QtWarningMsg, doesntLoad);
    QCOMPARE(dev.attachPort(QStringLiteral("COM5")), false);
    QTest::ignoreMessage(QtWarningMsg, doesntLoad);
    QCOMPARE(dev.deletePort(), false);
    QTest::ignoreMessage(QtWarningMsg, doesntLoad);
    QCOMPARE(dev.isOpened(), false);
    QTest::ignoreMessage(QtWarningMsg, doesntLoad);
    QCOMPARE(dev.setCTS(true), false);
    QTest::ignoreMessage(QtWarningMsg, doesntLoad);
    QCOMPARE(dev.setDCD(true), false);
    QTest::ignoreMessage(QtWarningMsg, doesntLoad);
    QCOMPARE(dev.setDSR(true), false);
    QTest::ignoreMessage(QtWarningMsg, doesntLoad);
    QCOMPARE(dev.bytesAvailable(), qint64(-1));

    // Line reads stay silent: they run once a millisecond.
    QCOMPARE(dev.readRts(), 0);
    QCOMPARE(dev.readDtr(), 0);

    // Opening never asks the component.
    QVERIFY(dev.open(QIODevice::ReadWrite));
    QVERIFY(dev.openMode() & QIODevice::Unbuffered);
    char buf[4];
    QTest::ignoreMessage(QtWarningMsg, doesntLoad);
    QCOMPARE(dev.read(buf, sizeof buf), qint64(-1));
    QTest::ignoreMessage(QtWarningMsg, doesntLoad);
    QCOMPARE(dev.write("abc", 3), qint64(-1));
    QTest::ignoreMessage(QtWarningMsg, doesntLoad);
    QVERIFY(dev.reset());
}

void TestVSerialMissing::classOperationsFallBack()
{
    const char *doesntLoad = "Warning!  VSPort.VSPortAx.1  doesn't load.";
    QCOMPARE(VSerial::isAvailable(), false);
    QTest::ignoreMessage(QtWarningMsg, doesntLoad);
    QCOMPARE(VSerial::countVirtualPorts(), -1);
    QTest::ignoreMessage(QtWarningMsg, doesntLoad);
    QCOMPARE(VSerial::enumVirtualPort(0), QString());
    QTest::ignoreMessage(QtWarningMsg, doesntLoad);
    QCOMPARE(VSerial::resetBus(), false);
}

QTEST_APPLESS_MAIN(TestVSerialMissing)
#include "tst_vserialmissing.moc"
