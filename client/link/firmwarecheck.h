#pragma once

#include <QObject>
#include <QString>

#include <memory>

class FwVersionDialog;

// Compares the Brelko's firmware version with the oldest one this client
// works with and tells the operator when it is too old: the notice dialog,
// or a tray message while the operator has hidden the dialog.
class FirmwareCheck final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FirmwareCheck)

public:
    explicit FirmwareCheck(QObject *parent = nullptr);
    ~FirmwareCheck() override;

    static QString minimumVersion();
    static QString makerWebSite();
    // True when ver.subver.pointver is lower than minimum ("a.b.c", missing parts 0).
    static bool isOlder(
        quint32 ver, quint32 subver, quint32 pointver, const QString &minimum = minimumVersion());
    static QString noticeText();

    // Created by the first check, kept for every later one.
    FwVersionDialog *dialog() const { return m_dialog.get(); }

signals:
    void sendTrayMessage(const QString &msg);

public slots:
    void checkFwVersion(quint32 ver, quint32 subver, quint32 pointver);

private:
    std::unique_ptr<FwVersionDialog> m_dialog;
};
