#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>

namespace morvex {

// Base of the preferences tabs: load/save against the settings store and a
// state text that tells whether the user changed anything.
class AbstractTab : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AbstractTab)

public:
    enum Tab { SerialPorts = 1, Network = 2, Audio = 3, General = 4 };
    Q_ENUM(Tab)

    AbstractTab(Tab id, bool trailingSeparator, QWidget *parent = nullptr);

    Tab id() const { return m_id; }
    // The tab's values joined by ";".
    QString stateText() const;
    QString savedState() const;

signals:
    void dataChanged();

public slots:
    virtual bool isChanged();
    virtual void commitState();
    virtual void refresh();
    virtual void revertState();
    virtual void saveSettings() = 0;
    virtual void loadSettings() = 0;

protected:
    virtual QStringList stateFields() const = 0;
    // Sets the widgets back from saved fields. The fields are kept as a list,
    // so a ";" inside a value (a password) cannot shift them.
    virtual void applyFields(const QStringList &fields) = 0;

private:
    QString join(const QStringList &fields) const;

    const Tab m_id;
    const bool m_trailing;
    QStringList m_saved;
};

} // namespace morvex
