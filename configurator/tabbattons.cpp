#include "configurator/tabbattons.h"

#include <QHBoxLayout>
#include <QPushButton>

namespace configurator {

TabBattons::TabBattons(QWidget *parent)
    : QWidget(parent)
    , m_apply(new QPushButton(tr("Apply"), this))
    , m_restore(new QPushButton(tr("Restore"), this))
{
    auto *row = new QHBoxLayout(this);
    row->addStretch();
    row->addWidget(m_apply);
    row->addWidget(m_restore);
    connect(m_apply, &QPushButton::clicked, this, &TabBattons::apply);
    connect(m_restore, &QPushButton::clicked, this, &TabBattons::restore);
}

} // namespace configurator
