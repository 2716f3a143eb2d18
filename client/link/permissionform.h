#pragma once

#include "client/link/permissionclock.h"

#include <QList>
#include <QWidget>

class QLabel;

namespace morvex {

class PermItem;

// Panel with the work/pause countdown of the current Brelko and the list of
// granted controls. Keeps one PermItem per Brelko used during this run.
class PermissionForm final : public QWidget, public PermissionClock
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PermissionForm)

public:
    explicit PermissionForm(QWidget *parent = nullptr);

    void setAddrPass(const QString &address, const QString &password) override;
    void setTimers(quint32 work, quint32 pause) override;
    bool isWorkTimer() const override;
    void start() override;
    void stop() override;
    void clear() override;
    bool isEmpty() const override { return m_pcurConn == nullptr; }
    void setPermissionText(const QString &text);

    PermItem *currentItem() const { return m_pcurConn; }
    int itemCount() const { return m_items.size(); }
    QString timerName() const;
    QString counter() const;
    QString permissionText() const;

signals:
    void workTimeCompleted();
    void pauseTimeCompleted();

private:
    void moveConnections(PermItem *from, PermItem *to);

    QLabel *m_timerName;
    QLabel *m_counter;
    QLabel *m_permCaption;
    QLabel *m_permText;
    QList<PermItem *> m_items;
    PermItem *m_pcurConn = nullptr;
};

} // namespace morvex
