#pragma once

#include <QByteArray>
#include <QVariant>
#include <QWidget>

class QLayout;

namespace configurator {

class HidInterface;
class TabBattons;

// Base of the configurator's tabs: the device interface lent by the central
// widget, the device ids, and the open/write/read steps every tab operation
// goes through, each failure ending in its message box and a closed device.
class AbstractTab : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AbstractTab)

public:
    explicit AbstractTab(QWidget *parent = nullptr);

    void setHidInterface(HidInterface *hidIf) { m_hidIf = hidIf; }
    HidInterface *hidInterface() const { return m_hidIf; }
    void setDeviceIds(quint16 vendorId, quint16 productId, quint16 releaseNumber);

    // Texts shared with the central widget's own device commands.
    static QString openFailureText();
    // The box for a device node the user may not open, with the fix.
    static QString permissionFailureText(const QByteArray &node);
    static QString readFailureText();
    static QString writeFailureText();

    // Settings values read leniently: a missing key or one that does not
    // parse keeps the fallback (what the widget shows now).
    static bool settingBool(const QVariant &value, bool fallback);
    static uint settingUInt(const QVariant &value, uint fallback, uint max = 0xFFFFFFFFu);

    virtual void loadFromSettings() = 0;
    virtual void saveToSettings() = 0;

signals:
    void apply();
    void statusMessage(const QString &text);

public slots:
    virtual bool loadData() = 0;
    virtual void applyData() = 0;

protected:
    enum class Failure { Open, Read, Write };

    // Wires a tab's bar: Apply writes, then (queued) commits; Restore reloads.
    void connectButtons(TabBattons *bar);
    // The usual tab: the form on top, the wired bar at the bottom.
    void placeForm(QLayout *form, TabBattons *bar);

    // Opens the device; false (box shown) when the tab has no interface or
    // the device cannot be opened.
    bool openDevice();
    // Writes one request; on failure shows the box and closes the device.
    bool writeRequest(const QByteArray &request);
    // Writes a get and reads its response (at most 64 bytes) into *response.
    bool query(const QByteArray &request, QByteArray *response);
    // Closes the device and announces the result in the status bar.
    void finish(const QString &status);
    void closeDevice();

    // The message box of a failure; tabs may add their own log line.
    virtual void reportFailure(Failure failure, const QString &hidError);

    QString m_openFailMsg;
    QString m_readFailMsg;
    QString m_writeFailMsg;
    QString m_restoredMsg;
    QString m_appliedMsg;
    HidInterface *m_hidIf = nullptr;
    quint16 m_vendorId = 0;
    quint16 m_productId = 0;
    quint16 m_releaseNumber = 0;
};

} // namespace configurator
