#include "client/prefs/abstracttab.h"

namespace morvex {

AbstractTab::AbstractTab(Tab id, bool trailingSeparator, QWidget *parent)
    : QWidget(parent)
    , m_id(id)
    , m_trailing(trailingSeparator)
{
}

QString AbstractTab::join(const QStringList &fields) const
{
    QString text = fields.join(QLatin1Char(';'));
    if (m_trailing)
        text += QLatin1Char(';');
    return text;
}

QString AbstractTab::stateText() const
{
    return join(stateFields());
}

QString AbstractTab::savedState() const
{
    return join(m_saved);
}

bool AbstractTab::isChanged()
{
    return stateFields() != m_saved;
}

void AbstractTab::commitState()
{
    m_saved = stateFields();
}

void AbstractTab::refresh() { }

void AbstractTab::revertState()
{
    if (!m_saved.isEmpty())
        applyFields(m_saved);
}

} // namespace morvex
