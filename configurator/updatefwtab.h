#pragma once

#include "configurator/abstracttab.h"
#include "configurator/firmwareimage.h"

#include <QFile>

class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTimer;

namespace configurator {

// "Files": the device's firmware and hardware versions, the firmware upload
// from a "*.refw" file, and the settings file import, export and reset. Also
// recommends a firmware update, once, for devices older than 1.1.7.
class UpdateFwTab final : public AbstractTab
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(UpdateFwTab)

public:
    static constexpr int kUploadIntervalMs = 5;
    static constexpr char kMinimumVersion[] = "1.1.7";

    explicit UpdateFwTab(QWidget *parent = nullptr);

    // Nothing of this tab lives in a settings file.
    void loadFromSettings() override { }
    void saveToSettings() override { }

    const FirmwareImage::Version &deviceFirmware() const { return m_fw; }
    bool isUploading() const;
    // As if chosen with "Browse...".
    void setFirmwarePath(const QString &path);
    QString firmwarePath() const { return m_fwPath; }
    static QString recommendationText();

    QLabel *firmwareVersionLabel() const { return m_fwVersionLbl; }
    QLabel *hardwareVersionLabel() const { return m_hwVersionLbl; }
    QLineEdit *fileNameEdit() const { return m_fileLe; }
    QPushButton *browseButton() const { return m_browseBtn; }
    QPushButton *updateButton() const { return m_updateBtn; }
    QPushButton *importButton() const { return m_importBtn; }
    QPushButton *exportButton() const { return m_exportBtn; }
    QPushButton *resetButton() const { return m_resetBtn; }
    QLabel *progressLabel() const { return m_progressLbl; }
    QProgressBar *progressBar() const { return m_progress; }

signals:
    void startUpdate();
    void finishedUpdate();
    void resetToDefault();
    void loadedIniFile();
    void savedIniFile();
    void currentCompatibily(quint32 feature);
    void updateProcess();

public slots:
    bool loadData() override;
    void applyData() override { }
    void openFwFile();
    void loadSetsFromFile();
    void saveSetsToFile();
    void updateFw();
    void uploadFw();
    void resetToDef();
    void canShowFwMessage(bool shown);

private:
    // Reads the open file, checks it against the device, asks where needed;
    // leaves the file rewound when it passes.
    bool checkFile();
    bool ask(const QString &text);
    void setControlsEnabled(bool enabled);
    void showProgress(bool show);
    // Every failed upload ends here before its box, so the user can retry.
    void abortUpload();
    void checkVersion();
    void showRecommendation();

    FirmwareImage::Version m_fw;
    quint16 m_crc = 0;
    QString m_fwPath;
    QFile m_fwFile;
    QTimer *m_uploadTimer;
    QByteArray m_lastChunk;
    bool m_recommendPending = false;
    bool m_windowShown = false;
    bool m_recommended = false; // once per start, however often the device rejoins

    QLabel *m_fwVersionLbl;
    QLabel *m_hwVersionLbl;
    QLineEdit *m_fileLe;
    QPushButton *m_browseBtn;
    QPushButton *m_updateBtn;
    QLabel *m_progressLbl;
    QProgressBar *m_progress;
    QPushButton *m_importBtn;
    QPushButton *m_exportBtn;
    QPushButton *m_resetBtn;
};

} // namespace configurator
