#include "configurator/abstracttab.h"

#include "configurator/hidinterface.h"
#include "configurator/hidreport.h"
#include "configurator/tabbattons.h"

#include <QMessageBox>
#include <QVBoxLayout>

namespace configurator {

AbstractTab::AbstractTab(QWidget *parent)
    : QWidget(parent)
    , m_openFailMsg(openFailureText())
    , m_readFailMsg(readFailureText())
    , m_writeFailMsg(writeFailureText())
    , m_restoredMsg(tr("Settings are restored"))
    , m_appliedMsg(tr("Settings are applied"))
{
}

QString AbstractTab::openFailureText()
{
    return tr("Can't open Zentrik Brelko interface.\n\nPlease make sure it is connected to your computer.");
}

QString AbstractTab::permissionFailureText(const QByteArray &node)
{
    return tr("No permission to open the Zentrik Brelko interface at %1.\n\n"
              "Install the udev rule 70-brelko.rules into /lib/udev/rules.d/ (the package does this), "
              "then run \"sudo udevadm control --reload-rules && sudo udevadm trigger\" "
              "and plug the Brelko in again.")
        .arg(QString::fromLocal8Bit(node));
}

QString AbstractTab::readFailureText()
{
    return tr("Can't read data from the Zentrik Brelko interface.\n\nPlease make sure it is connected to "
              "your computer.");
}

QString AbstractTab::writeFailureText()
{
    return tr("Can't write data to the Zentrik Brelko interface.\n\nPlease make sure it is connected to your "
              "computer.");
}

bool AbstractTab::settingBool(const QVariant &value, bool fallback)
{
    if (value.type() == QVariant::Bool)
        return value.toBool();
    const QString text = value.toString().trimmed().toLower();
    if (text == QLatin1String("true") || text == QLatin1String("1"))
        return true;
    if (text == QLatin1String("false") || text == QLatin1String("0"))
        return false;
    return fallback;
}

uint AbstractTab::settingUInt(const QVariant &value, uint fallback, uint max)
{
    bool ok = false;
    const qulonglong n = value.toString().trimmed().toULongLong(&ok);
    return ok && n <= max ? uint(n) : fallback;
}

void AbstractTab::setDeviceIds(quint16 vendorId, quint16 productId, quint16 releaseNumber)
{
    m_vendorId = vendorId;
    m_productId = productId;
    m_releaseNumber = releaseNumber;
}

void AbstractTab::connectButtons(TabBattons *bar)
{
    connect(bar, &TabBattons::apply, this, &AbstractTab::applyData);
    connect(bar, &TabBattons::restore, this, &AbstractTab::loadData);
    // Queued: the commit goes out after this click's writes have finished.
    connect(bar, &TabBattons::apply, this, &AbstractTab::apply, Qt::QueuedConnection);
}

void AbstractTab::placeForm(QLayout *form, TabBattons *bar)
{
    auto *column = new QVBoxLayout(this);
    column->addLayout(form);
    column->addStretch();
    column->addWidget(bar);
    connectButtons(bar);
}

bool AbstractTab::openDevice()
{
    if (!m_hidIf)
        return false;
    if (!m_hidIf->open(m_vendorId, m_productId, m_releaseNumber)) {
        reportFailure(Failure::Open, QString());
        return false;
    }
    return true;
}

bool AbstractTab::writeRequest(const QByteArray &request)
{
    if (m_hidIf->write(reinterpret_cast<const unsigned char *>(request.constData()), request.size()) < 1) {
        const QString error = m_hidIf->errorString();
        m_hidIf->close();
        reportFailure(Failure::Write, error);
        return false;
    }
    return true;
}

bool AbstractTab::query(const QByteArray &request, QByteArray *response)
{
    if (!writeRequest(request))
        return false;
    QByteArray buffer(HidReport::kRequestSize, '\0');
    const int n = m_hidIf->read(reinterpret_cast<unsigned char *>(buffer.data()), buffer.size());
    if (n < 1) {
        const QString error = m_hidIf->errorString();
        m_hidIf->close();
        reportFailure(Failure::Read, error);
        return false;
    }
    // Only what the device sent counts; a string never runs past it.
    buffer.truncate(qMin(n, HidReport::kResponseSize));
    *response = buffer;
    return true;
}

void AbstractTab::finish(const QString &status)
{
    closeDevice();
    emit statusMessage(status);
}

void AbstractTab::closeDevice()
{
    if (m_hidIf)
        m_hidIf->close();
}

void AbstractTab::reportFailure(Failure failure, const QString &hidError)
{
    Q_UNUSED(hidError)
    const QByteArray denied = failure == Failure::Open && m_hidIf ? m_hidIf->deniedPath() : QByteArray();
    if (!denied.isEmpty()) {
        QMessageBox::warning(this, tr("Error"), permissionFailureText(denied));
        return;
    }
    const QString &text = failure == Failure::Open ? m_openFailMsg
        : failure == Failure::Read                 ? m_readFailMsg
                                                   : m_writeFailMsg;
    QMessageBox::warning(this, tr("Error"), text);
}

} // namespace configurator
