#include "configurator/updatefwtab.h"

#include "common/settings.h"
#include "configurator/devicestatustext.h"
#include "configurator/hidinterface.h"
#include "configurator/hidreport.h"

#include <QDebug>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

using namespace brelko;

namespace configurator {

UpdateFwTab::UpdateFwTab(QWidget *parent)
    : AbstractTab(parent)
    , m_uploadTimer(new QTimer(this))
    , m_fwVersionLbl(new QLabel(this))
    , m_hwVersionLbl(new QLabel(this))
    , m_fileLe(new QLineEdit(this))
    , m_browseBtn(new QPushButton(tr("Browse..."), this))
    , m_updateBtn(new QPushButton(tr("Update firmware!"), this))
    , m_progressLbl(new QLabel(tr("Uploading progress"), this))
    , m_progress(new QProgressBar(this))
    , m_importBtn(new QPushButton(tr("Import settings"), this))
    , m_exportBtn(new QPushButton(tr("Export settings"), this))
    , m_resetBtn(new QPushButton(tr("Reset to defaults"), this))
{
    m_uploadTimer->setInterval(kUploadIntervalMs);
    m_fileLe->setReadOnly(true);
    m_progress->setRange(0, 100);
    m_progress->setValue(0);

    auto *fwBox = new QGroupBox(tr("Firmware update"), this);
    auto *fwGrid = new QGridLayout(fwBox);
    fwGrid->addWidget(new QLabel(tr("Current firmware version:"), fwBox), 0, 0);
    fwGrid->addWidget(m_fwVersionLbl, 0, 1, 1, 2);
    fwGrid->addWidget(new QLabel(tr("Hardware version:"), fwBox), 1, 0);
    fwGrid->addWidget(m_hwVersionLbl, 1, 1, 1, 2);
    fwGrid->addWidget(new QLabel(tr("File name:"), fwBox), 2, 0);
    fwGrid->addWidget(m_fileLe, 2, 1);
    fwGrid->addWidget(m_browseBtn, 2, 2);
    fwGrid->addWidget(m_updateBtn, 3, 0, 1, 3, Qt::AlignLeft);
    fwGrid->addWidget(m_progressLbl, 4, 0);
    fwGrid->addWidget(m_progress, 4, 1, 1, 2);
    fwGrid->setColumnStretch(1, 1);

    auto *setBox = new QGroupBox(tr("Settings"), this);
    auto *setRow = new QHBoxLayout(setBox);
    setRow->addWidget(m_importBtn);
    setRow->addWidget(m_exportBtn);
    setRow->addWidget(m_resetBtn);
    setRow->addStretch();

    auto *column = new QVBoxLayout(this);
    column->addWidget(fwBox);
    column->addWidget(setBox);
    column->addStretch();
    showProgress(false);

    connect(m_browseBtn, &QPushButton::clicked, this, &UpdateFwTab::openFwFile);
    connect(m_updateBtn, &QPushButton::clicked, this, &UpdateFwTab::updateFw);
    connect(m_importBtn, &QPushButton::clicked, this, &UpdateFwTab::loadSetsFromFile);
    connect(m_exportBtn, &QPushButton::clicked, this, &UpdateFwTab::saveSetsToFile);
    connect(m_resetBtn, &QPushButton::clicked, this, &UpdateFwTab::resetToDef);
    connect(m_uploadTimer, &QTimer::timeout, this, &UpdateFwTab::uploadFw);
}

bool UpdateFwTab::isUploading() const
{
    return m_uploadTimer->isActive();
}

QString UpdateFwTab::recommendationText()
{
    return tr("We strongly recommend that you update\nyour Brelko's firmware to version %1 or higher.\nThe "
              "latest "
              "version of the firmware you can download\nfrom the website ")
               .arg(QString::fromLatin1(kMinimumVersion))
        + QStringLiteral("www.zentrik.example")
        + tr("\nAfter that you should choose the \"Files\" tab\nand update firmware.");
}

bool UpdateFwTab::loadData()
{
    if (!openDevice())
        return false;
    QByteArray response;
    if (!query(HidReport::getRequest(HidReport::FirmwareVersion), &response))
        return false;
    m_fw = FirmwareImage::versionFromResponse(response);
    m_fwVersionLbl->setText(DeviceStatusText::firmwareVersion(response));
    emit currentCompatibily(m_fw.feature);
    if (!query(HidReport::getRequest(HidReport::HardwareVersion), &response))
        return false;
    m_hwVersionLbl->setText(DeviceStatusText::hardwareVersion(response));
    closeDevice();
    checkVersion();
    return true;
}

void UpdateFwTab::checkVersion()
{
    if (!FirmwareImage::isOlder(m_fw, kMinimumVersion) || m_recommended)
        return;
    if (m_windowShown)
        showRecommendation();
    else
        m_recommendPending = true;
}

void UpdateFwTab::showRecommendation()
{
    m_recommended = true;
    m_recommendPending = false;
    QMessageBox::information(this, tr("Update Brelko firmware"), recommendationText());
}

void UpdateFwTab::canShowFwMessage(bool shown)
{
    if (!shown || m_windowShown)
        return;
    m_windowShown = true;
    if (m_recommendPending)
        showRecommendation();
}

void UpdateFwTab::setFirmwarePath(const QString &path)
{
    m_fwPath = path;
    m_fileLe->setText(path);
    m_progress->setValue(0);
}

void UpdateFwTab::openFwFile()
{
    setFirmwarePath(QFileDialog::getOpenFileName(
        this, tr("Open the firmware file"), QString(), tr("Firmware (*.refw);;All files (*.*)")));
}

bool UpdateFwTab::ask(const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, tr("Info"), text, QMessageBox::Yes | QMessageBox::No, this);
    box.button(QMessageBox::Yes)->setText(tr("Yes"));
    box.button(QMessageBox::No)->setText(tr("No"));
    return box.exec() == QMessageBox::Yes;
}

void UpdateFwTab::updateFw()
{
    if (m_fwPath.isEmpty() || isUploading())
        return;
    const QFileInfo info(m_fwPath);
    if (!FirmwareImage::sizeAcceptable(info.size())) {
        QMessageBox::critical(this, tr("Error"), tr("Incorrect file size."));
        return;
    }
    if (!ask(tr("The firmware update process will now start. It will take several minutes.\n\nPlease do not "
                "disconnect your Zentrik Brelko from your computer, and do not close this program.\n\nDo you "
                "wish "
                "to proceed?")))
        return;
    // Read only: the file is never written, and a read-only copy must do.
    m_fwFile.setFileName(m_fwPath);
    if (!m_fwFile.open(QIODevice::ReadOnly)) {
        QMessageBox::critical(this, tr("Error"), tr("Can't open file ") + info.completeBaseName());
        return;
    }
    if (!checkFile()) {
        m_fwFile.close();
        return;
    }
    m_lastChunk.clear();
    showProgress(true);
    emit startUpdate();
    emit statusMessage(tr("Uploading firmware... It takes several minutes."));
    setControlsEnabled(false);
    m_uploadTimer->start(kUploadIntervalMs);
}

bool UpdateFwTab::checkFile()
{
    // The size was checked on the path; the open file is read with a bound
    // in case it grew since.
    const QByteArray file = m_fwFile.read(FirmwareImage::kMaxFileSize + 1);
    switch (FirmwareImage::check(file, m_fw.image, m_fw.feature)) {
    case FirmwareImage::Check::BadSize:
        QMessageBox::critical(this, tr("Error"), tr("Incorrect file size."));
        return false;
    case FirmwareImage::Check::NotValid:
        qDebug() << "Incorrect file";
        QMessageBox::critical(this, tr("Error"),
            tr("Unfortunately, the firmware can not be updated:\n\nNot a valid firmware update "
               "file. Please open another file."));
        return false;
    case FirmwareImage::Check::Incompatible:
        QMessageBox::critical(this, tr("Error"),
            tr("Unfortunately, the firmware can not be updated:\n\nThis firmware update file is "
               "incompatible with your device. Please open another file."));
        return false;
    case FirmwareImage::Check::FeatureDiffers:
        if (!ask(tr(
                "In this version of firmware some functionality was improved.\nAfter firmware update Brelko "
                "settings will be reset to default \nand you will should reconfigure your Brelko.\nDo you "
                "wish "
                "to proceed?")))
            return false;
        break;
    case FirmwareImage::Check::Ok:
        break;
    }
    return m_fwFile.seek(0);
}

void UpdateFwTab::setControlsEnabled(bool enabled)
{
    for (QPushButton *b : { m_browseBtn, m_updateBtn, m_importBtn, m_exportBtn, m_resetBtn })
        b->setEnabled(enabled);
}

void UpdateFwTab::showProgress(bool show)
{
    m_progressLbl->setVisible(show);
    m_progress->setVisible(show);
}

void UpdateFwTab::abortUpload()
{
    m_uploadTimer->stop();
    m_fwFile.close();
    closeDevice();
    m_progress->setValue(0);
    showProgress(false);
    emit finishedUpdate();
    setControlsEnabled(true);
}

void UpdateFwTab::uploadFw()
{
    if (!m_uploadTimer->isActive())
        return; // a tick queued behind the last one
    QByteArray report;
    quint32 offset = 0;
    qint64 count = 0;
    const qint64 size = m_fwFile.size();
    if (m_fwFile.pos() == 0) {
        // The file may have changed since it was checked: keep to the limit.
        const QByteArray whole = FirmwareImage::sizeAcceptable(size)
            ? m_fwFile.read(FirmwareImage::kMaxFileSize + 1)
            : QByteArray();
        m_crc = FirmwareImage::transferCrc(whole);
        qDebug() << "totlen" << size << "crc" << m_crc;
        qDebug() << "send crc" << m_crc;
        const QByteArray data = whole.size() == size && m_fwFile.seek(0)
            ? m_fwFile.read(FirmwareImage::kFirstChunkData)
            : QByteArray();
        count = data.size();
        report = FirmwareImage::firstChunk(quint32(size), m_crc, data);
    } else {
        const qint64 pos = m_fwFile.pos();
        offset = quint32(pos) + FirmwareImage::kHeaderSize;
        const QByteArray data = m_fwFile.read(FirmwareImage::kChunkData);
        count = data.size();
        report = FirmwareImage::chunk(quint32(pos), data);
    }
    if (count <= 0) {
        abortUpload();
        QMessageBox::critical(this, tr("Error"), tr("Can't read firmware file."));
        return;
    }
    if (!m_hidIf || (!m_hidIf->isOpen() && !m_hidIf->open(m_vendorId, m_productId, m_releaseNumber))) {
        abortUpload();
        reportFailure(Failure::Open, QString());
        return;
    }
    if (m_hidIf->write(reinterpret_cast<const unsigned char *>(report.constData()), report.size()) < 1) {
        const QString error = m_hidIf->errorString();
        abortUpload();
        reportFailure(Failure::Write, error);
        return;
    }
    m_lastChunk = report;
    if (!m_fwFile.atEnd()) {
        m_progress->setValue(int(qint64(offset) * 100 / size));
        return;
    }

    qDebug() << "End pos" << offset << count;
    const QByteArray marker = FirmwareImage::endMarker(report);
    m_hidIf->write(reinterpret_cast<const unsigned char *>(marker.constData()), marker.size());
    m_fwFile.close();
    m_uploadTimer->stop();
    emit finishedUpdate();
    setControlsEnabled(true);
    qDebug() << "File uploaded";
    m_progress->setValue(100);
    emit statusMessage(tr("Firmware uploaded successfully"));
    closeDevice();
    setFirmwarePath(QString());
    // The device leaves the bus to start the new firmware: that is expected.
    emit updateProcess();
    if (openDevice() && writeRequest(HidReport::request(HidReport::Restart)))
        closeDevice();
    showProgress(false);
    m_progress->setValue(0);
}

void UpdateFwTab::loadSetsFromFile()
{
    const QString name = QFileDialog::getOpenFileName(
        this, tr("Load the settings file"), QString(), QStringLiteral("*.ini"));
    if (name.isEmpty())
        return;
    if (!QFileInfo(name).isReadable()) {
        QMessageBox::critical(this, tr("Error"), tr("Can't open file ") + QFileInfo(name).completeBaseName());
        return;
    }
    const QString previous = Settings::instance()->fileName();
    Settings::instance()->setFile(name);
    if (Settings::instance()->status() != 0) {
        Settings::instance()->setFile(previous);
        QMessageBox::critical(this, tr("Error"), tr("Can't open file ") + QFileInfo(name).completeBaseName());
        return;
    }
    emit loadedIniFile();
}

void UpdateFwTab::saveSetsToFile()
{
    QString name = QFileDialog::getSaveFileName(
        this, tr("Save the settings file"), QString(), QStringLiteral("*.ini"));
    if (name.isEmpty())
        return;
    if (QFileInfo(name).suffix().isEmpty())
        name += QStringLiteral(".ini");
    Settings::instance()->setFile(name);
    emit savedIniFile();
    Settings::instance()->sync();
    if (Settings::instance()->status() != 0)
        QMessageBox::critical(
            this, tr("Error"), tr("Can't write file ") + QFileInfo(name).completeBaseName());
}

void UpdateFwTab::resetToDef()
{
    QMessageBox box(QMessageBox::Warning, tr("Warning"),
        tr("All settings will be reset to defaults.\n\nYou will need to configure the device once "
           "again.\n\nDo you really want to proceed?"),
        QMessageBox::Yes | QMessageBox::No, this);
    box.button(QMessageBox::Yes)->setText(tr("Yes"));
    box.button(QMessageBox::No)->setText(tr("No"));
    if (box.exec() == QMessageBox::Yes)
        emit resetToDefault();
}

} // namespace configurator
