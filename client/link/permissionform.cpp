#include "client/link/permissionform.h"

#include "client/link/permitem.h"

#include <QDebug>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QVBoxLayout>

namespace morvex {

PermissionForm::PermissionForm(QWidget *parent)
    : QWidget(parent)
    , m_timerName(new QLabel(tr("Work time (min):"), this))
    , m_counter(new QLabel(this))
    , m_permCaption(new QLabel(tr("Permission:"), this))
    , m_permText(new QLabel(tr("PTT, CAT, Audio levels"), this))
{
    auto *group = new QGroupBox(tr("Permission"), this);
    auto *grid = new QGridLayout(group);
    QFont f = m_counter->font();
    f.setPixelSize(18);
    m_counter->setFont(f);
    grid->addWidget(m_timerName, 0, 0);
    grid->addWidget(m_counter, 0, 1);
    grid->addWidget(m_permCaption, 1, 0);
    grid->addWidget(m_permText, 1, 1);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(group);
}

void PermissionForm::moveConnections(PermItem *from, PermItem *to)
{
    if (from) {
        disconnect(from, &PermItem::completedWorkTimer, this, &PermissionForm::workTimeCompleted);
        disconnect(from, &PermItem::completedPauseTimer, this, &PermissionForm::pauseTimeCompleted);
        disconnect(from, &PermItem::changedCounter, m_counter, &QLabel::setText);
        disconnect(from, &PermItem::changedTimerName, m_timerName, &QLabel::setText);
    }
    if (to) {
        connect(to, &PermItem::completedWorkTimer, this, &PermissionForm::workTimeCompleted);
        connect(to, &PermItem::completedPauseTimer, this, &PermissionForm::pauseTimeCompleted);
        connect(to, &PermItem::changedCounter, m_counter, &QLabel::setText);
        connect(to, &PermItem::changedTimerName, m_timerName, &QLabel::setText);
    }
}

void PermissionForm::setAddrPass(const QString &address, const QString &password)
{
    for (PermItem *item : qAsConst(m_items)) {
        if (item->address() == address && item->password() == password) {
            if (item != m_pcurConn) {
                moveConnections(m_pcurConn, item);
                m_pcurConn = item;
            }
            qDebug() << "void PermissionForm::setAddrPass(const QString&, const QString&)"
                     << "Found connection";
            return;
        }
    }
    auto *item = new PermItem(this);
    item->setAddrPass(address, password);
    moveConnections(m_pcurConn, item);
    m_pcurConn = item;
    m_items.append(item);
    qDebug() << "void PermissionForm::setAddrPass(const QString&, const QString&)"
             << "Add new connection";
}

void PermissionForm::setTimers(quint32 work, quint32 pause)
{
    if (!m_pcurConn) {
        qWarning() << "void PermissionForm::setTimers(quint32, quint32)"
                   << "Pointer m_pcurConn is NULL";
        return;
    }
    m_pcurConn->setTimers(work, pause);
}

bool PermissionForm::isWorkTimer() const
{
    if (!m_pcurConn) {
        qWarning() << "bool PermissionForm::isWorkTimer() const"
                   << "Pointer m_pcurConn is NULL";
        return false;
    }
    return m_pcurConn->isWorkTimer();
}

void PermissionForm::start()
{
    if (m_pcurConn)
        m_pcurConn->start();
}

void PermissionForm::stop()
{
    if (m_pcurConn)
        m_pcurConn->stop();
}

void PermissionForm::clear()
{
    if (!m_pcurConn)
        return;
    m_pcurConn->clear();
    m_timerName->clear();
}

void PermissionForm::setPermissionText(const QString &text)
{
    m_permText->setText(text);
}

QString PermissionForm::timerName() const
{
    return m_timerName->text();
}

QString PermissionForm::counter() const
{
    return m_counter->text();
}

QString PermissionForm::permissionText() const
{
    return m_permText->text();
}

} // namespace morvex
