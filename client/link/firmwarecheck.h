#pragma once

#include <QObject>
#include <QString>

namespace morvex {

// Compares the Brelko's firmware version with the oldest one this client
// works with and tells the operator when it is too old: showNotice for the
// notice dialog, or a tray message while the operator has hidden the dialog.
class FirmwareCheck final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FirmwareCheck)

public:
    explicit FirmwareCheck(QObject *parent = nullptr);

    static QString minimumVersion();
    static QString makerWebSite();
    // True when ver.subver.pointver is lower than minimum ("a.b.c", missing parts 0).
    static bool isOlder(
        quint32 ver, quint32 subver, quint32 pointver, const QString &minimum = minimumVersion());
    static QString noticeText();

signals:
    void showNotice(const QString &msg);
    void sendTrayMessage(const QString &msg);

public slots:
    void checkFwVersion(quint32 ver, quint32 subver, quint32 pointver);
};

} // namespace morvex
