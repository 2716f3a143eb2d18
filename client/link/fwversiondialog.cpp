#include "client/link/fwversiondialog.h"

#include "common/settings.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>

using namespace brelko;

namespace morvex {

FwVersionDialog::FwVersionDialog(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("FwVersionDialog"));
    resize(297, 64);
    setModal(true);
    setWindowTitle(tr("Update Brelko firmvare"));
    // Title and close button only: no help or resize buttons.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

    auto *grid = new QGridLayout(this);
    m_label = new QLabel(QStringLiteral("TextLabel"), this);
    m_label->setObjectName(QStringLiteral("label"));
    m_label->setWordWrap(true);
    grid->addWidget(m_label, 0, 0, 1, 2);

    m_checkBox = new QCheckBox(tr("Do not show this message"), this);
    m_checkBox->setObjectName(QStringLiteral("checkBox"));
    grid->addWidget(m_checkBox, 1, 0);

    m_buttonBox = new QDialogButtonBox(QDialogButtonBox::Ok, Qt::Horizontal, this);
    m_buttonBox->setObjectName(QStringLiteral("buttonBox"));
    grid->addWidget(m_buttonBox, 1, 1);

    connect(m_buttonBox, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_checkBox, &QCheckBox::clicked, this, &FwVersionDialog::dontShow);
}

QString FwVersionDialog::messageText() const
{
    return m_label->text();
}

void FwVersionDialog::setMessageText(const QString &msg)
{
    m_label->setText(msg);
}

void FwVersionDialog::dontShow(bool state)
{
    (*Settings::instance())(Settings::HideFirmwareWarning, Settings::Firmware) = state;
    m_dontShow = state;
}

void FwVersionDialog::showNotice(const QString &msg)
{
    setMessageText(msg);
    show();
}

} // namespace morvex
