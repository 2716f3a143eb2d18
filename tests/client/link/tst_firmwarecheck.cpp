#include "client/link/firmwarecheck.h"
#include "client/link/fwversiondialog.h"
#include "common/settings.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using namespace brelko;
using namespace morvex;

// Firmware version check and its notice dialog (offscreen widgets).
class TstFirmwareCheck : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void older_data();
    void older();
    void noticeText();
    void noticeGoesToDialogOrTray_data();
    void noticeGoesToDialogOrTray();
    void dialogLayout();
    void dontShowMovesNoticeToTray();

private:
    void setHidden(bool hide)
    {
        (*Settings::instance())(Settings::HideFirmwareWarning, Settings::Firmware) = hide;
    }
};

void TstFirmwareCheck::init()
{
    setHidden(false);
}

void TstFirmwareCheck::older_data()
{
    QTest::addColumn<quint32>("ver");
    QTest::addColumn<quint32>("subver");
    QTest::addColumn<quint32>("pointver");
    QTest::addColumn<QString>("minimum");
    QTest::addColumn<bool>("older");
    const QString m = FirmwareCheck::minimumVersion();
    QTest::newRow("1.1.6") << 1u << 1u << 6u << m << true;
    QTest::newRow("0.9.9") << 0u << 9u << 9u << m << true;
    QTest::newRow("1.0.99") << 1u << 0u << 99u << m << true;
    QTest::newRow("0.0.0") << 0u << 0u << 0u << m << true;
    QTest::newRow("1.1.7") << 1u << 1u << 7u << m << false;
    QTest::newRow("1.1.8") << 1u << 1u << 8u << m << false;
    QTest::newRow("1.2.0") << 1u << 2u << 0u << m << false;
    QTest::newRow("2.0.0") << 2u << 0u << 0u << m << false;
    QTest::newRow("huge major") << 0xFFFFFFFFu << 0u << 0u << m << false;
    // Numbers, not text: each of these sorts the other way as a string.
    QTest::newRow("1.10.0 vs 1.9.0") << 1u << 10u << 0u << QStringLiteral("1.9.0") << false;
    QTest::newRow("1.9.0 vs 1.10.0") << 1u << 9u << 0u << QStringLiteral("1.10.0") << true;
    QTest::newRow("1.1.10 vs 1.1.9") << 1u << 1u << 10u << QStringLiteral("1.1.9") << false;
    QTest::newRow("1.1.9 vs 1.1.10") << 1u << 1u << 9u << QStringLiteral("1.1.10") << true;
    QTest::newRow("10.0.0 vs 2.0.0") << 10u << 0u << 0u << QStringLiteral("2.0.0") << false;
    QTest::newRow("2.0.0 vs 10.0.0") << 2u << 0u << 0u << QStringLiteral("10.0.0") << true;
    QTest::newRow("short minimum 1.2") << 1u << 1u << 99u << QStringLiteral("1.2") << true;
    QTest::newRow("short minimum met") << 1u << 2u << 0u << QStringLiteral("1.2") << false;
}

void TstFirmwareCheck::older()
{
    QFETCH(quint32, ver);
    QFETCH(quint32, subver);
    QFETCH(quint32, pointver);
    QFETCH(QString, minimum);
    QTEST(FirmwareCheck::isOlder(ver, subver, pointver, minimum), "older");
}

void TstFirmwareCheck::noticeText()
{
    QCOMPARE(FirmwareCheck::minimumVersion(), QStringLiteral("1.1.7"));
    const QString text = FirmwareCheck::noticeText();
    QVERIFY(text.startsWith(
        QStringLiteral("You should update your Brelko's firmware to version 1.1.7 or higher. "
                       "The latest version of the firmware you can download from the website ")
        + FirmwareCheck::makerWebSite() + QLatin1Char('\n')));
    QVERIFY(text.endsWith(QStringLiteral(
        "After that you should run Brelko Configurator, choose the \"Files\" tab and update firmware.")));
}

void TstFirmwareCheck::noticeGoesToDialogOrTray_data()
{
    QTest::addColumn<quint32>("ver");
    QTest::addColumn<quint32>("subver");
    QTest::addColumn<quint32>("pointver");
    QTest::addColumn<bool>("hidden");
    QTest::addColumn<bool>("dialogShown");
    QTest::addColumn<bool>("trayMessage");
    QTest::newRow("old, shown") << 1u << 1u << 6u << false << true << false;
    QTest::newRow("very old, shown") << 0u << 9u << 9u << false << true << false;
    QTest::newRow("old, hidden") << 1u << 1u << 6u << true << false << true;
    QTest::newRow("current") << 1u << 1u << 7u << false << false << false;
    QTest::newRow("current, hidden") << 1u << 1u << 7u << true << false << false;
    QTest::newRow("newer") << 1u << 2u << 0u << false << false << false;
    QTest::newRow("major newer") << 2u << 0u << 0u << false << false << false;
}

void TstFirmwareCheck::noticeGoesToDialogOrTray()
{
    QFETCH(quint32, ver);
    QFETCH(quint32, subver);
    QFETCH(quint32, pointver);
    QFETCH(bool, hidden);
    QFETCH(bool, dialogShown);
    QFETCH(bool, trayMessage);

    setHidden(hidden);
    FirmwareCheck check;
    QSignalSpy tray(&check, &FirmwareCheck::sendTrayMessage);
    QSignalSpy notice(&check, &FirmwareCheck::showNotice);
    FwVersionDialog dialog;
    connect(&check, &FirmwareCheck::showNotice, &dialog, &FwVersionDialog::showNotice);
    check.checkFwVersion(ver, subver, pointver);

    QCOMPARE(notice.count(), dialogShown ? 1 : 0);
    QCOMPARE(dialog.isVisible(), dialogShown);
    QCOMPARE(tray.count(), trayMessage ? 1 : 0);
    if (dialogShown)
        QCOMPARE(dialog.messageText(), FirmwareCheck::noticeText());
    if (trayMessage)
        QCOMPARE(tray.at(0).at(0).toString(), FirmwareCheck::noticeText());

    // A current version later asks for nothing more.
    check.checkFwVersion(2, 0, 0);
    QCOMPARE(notice.count(), dialogShown ? 1 : 0);
    QCOMPARE(tray.count(), trayMessage ? 1 : 0);
}

void TstFirmwareCheck::dialogLayout()
{
    FwVersionDialog dlg;
    QCOMPARE(dlg.size(), QSize(297, 64));
    QVERIFY(dlg.isModal());
    QCOMPARE(dlg.windowTitle(), QStringLiteral("Update Brelko firmvare"));
    const Qt::WindowFlags flags = dlg.windowFlags();
    QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowContextHelpButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));

    auto *grid = qobject_cast<QGridLayout *>(dlg.layout());
    QVERIFY(grid);
    QCOMPARE(grid->itemAtPosition(0, 0)->widget(), dlg.label());
    QCOMPARE(grid->itemAtPosition(0, 1)->widget(), dlg.label());
    QCOMPARE(grid->itemAtPosition(1, 0)->widget(), dlg.checkBox());
    QCOMPARE(grid->itemAtPosition(1, 1)->widget(), dlg.buttonBox());
    QCOMPARE(dlg.label()->text(), QStringLiteral("TextLabel"));
    QVERIFY(dlg.label()->wordWrap());
    QCOMPARE(dlg.checkBox()->text(), QStringLiteral("Do not show this message"));
    QCOMPARE(dlg.buttonBox()->standardButtons(), QDialogButtonBox::StandardButtons(QDialogButtonBox::Ok));
    QCOMPARE(dlg.buttonBox()->orientation(), Qt::Horizontal);

    dlg.setMessageText(QStringLiteral("notice"));
    QCOMPARE(dlg.label()->text(), QStringLiteral("notice"));

    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QTest::mouseClick(dlg.buttonBox()->button(QDialogButtonBox::Ok), Qt::LeftButton);
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
    QVERIFY(!dlg.isVisible());

    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    emit dlg.buttonBox()->rejected();
    QCOMPARE(dlg.result(), int(QDialog::Rejected));
    QVERIFY(!dlg.isVisible());
}

void TstFirmwareCheck::dontShowMovesNoticeToTray()
{
    FirmwareCheck check;
    QSignalSpy tray(&check, &FirmwareCheck::sendTrayMessage);
    FwVersionDialog dialog;
    FwVersionDialog *dlg = &dialog;
    connect(&check, &FirmwareCheck::showNotice, dlg, &FwVersionDialog::showNotice);
    check.checkFwVersion(1, 1, 6);
    QVERIFY(dlg->isVisible());
    QVERIFY(QTest::qWaitForWindowExposed(dlg));

    // Ticking the box writes the setting at once.
    QTest::mouseClick(dlg->checkBox(), Qt::LeftButton, {}, QPoint(5, dlg->checkBox()->height() / 2));
    QVERIFY(dlg->checkBox()->isChecked());
    QVERIFY(dlg->dontShowState());
    QCOMPARE(Settings::instance()->value(Settings::HideFirmwareWarning, Settings::Firmware).toBool(), true);
    dlg->accept();

    check.checkFwVersion(0, 9, 9);
    QVERIFY(!dlg->isVisible());
    QCOMPARE(tray.count(), 1);

    // Unticking brings the dialog back.
    dlg->dontShow(false);
    QCOMPARE(Settings::instance()->value(Settings::HideFirmwareWarning, Settings::Firmware).toBool(), false);
    check.checkFwVersion(0, 9, 9);
    QVERIFY(dlg->isVisible());
    QCOMPARE(tray.count(), 1);
    dlg->accept();
}

QTEST_MAIN(TstFirmwareCheck)
#include "tst_firmwarecheck.moc"
