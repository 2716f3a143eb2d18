#include "configurator/permission.h"

#include "common/settings.h"
#include "configurator/hidreport.h"
#include "configurator/permitem.h"
#include "configurator/tabbattons.h"

#include <QDebug>
#include <QVBoxLayout>

#define PERM_SITE() setSite(Q_FUNC_INFO, __LINE__)

using namespace brelko;

namespace configurator {

Permission::Permission(QWidget *parent)
    : AbstractTab(parent)
    , m_perm0(new PermItem(true, this))
    , m_perm1(new PermItem(false, this))
    , m_perm2(new PermItem(false, this))
    , m_perm3(new PermItem(false, this))
    , m_perm4(new PermItem(false, this))
    , m_perm5(new PermItem(false, this))
    , m_perm6(new PermItem(false, this))
    , m_buts(new TabBattons(this))
{
    auto *column = new QVBoxLayout(this);
    for (int i = 0; i < kSlots; ++i)
        column->addWidget(item(i));
    column->addStretch();
    column->addWidget(m_buts);
    connectButtons(m_buts);
}

PermItem *Permission::item(int index) const
{
    switch (index) {
    case 0:
        return m_perm0;
    case 1:
        return m_perm1;
    case 2:
        return m_perm2;
    case 3:
        return m_perm3;
    case 4:
        return m_perm4;
    case 5:
        return m_perm5;
    case 6:
        return m_perm6;
    default:
        return nullptr;
    }
}

bool Permission::loadData()
{
    PERM_SITE();
    if (!openDevice())
        return false;
    for (int i = 0; i < kSlots; ++i) {
        PermItem *row = item(i);
        QByteArray response;
        PERM_SITE();
        if (!query(HidReport::getRequest(HidReport::PermissionSlot, quint8(i)), &response))
            return false;
        row->setFlags(HidReport::u8At(response, 1));
        row->setTimes(HidReport::u32At(response, 2), HidReport::u32At(response, 6));
        PERM_SITE();
        if (!query(HidReport::getRequest(HidReport::PermissionPassword, quint8(i)), &response))
            return false;
        row->setPassword(HidReport::stringAt(response, 1, false).left(PermItem::kPasswordMaxLength));
    }
    closeDevice();
    return true;
}

void Permission::applyData()
{
    PERM_SITE();
    if (!openDevice())
        return;
    for (int i = 0; i < kSlots; ++i) {
        PERM_SITE();
        if (!writeRequest(item(i)->slotRequest(i)))
            return;
        PERM_SITE();
        if (!writeRequest(item(i)->passwordRequest(i)))
            return;
    }
    finish(m_appliedMsg);
}

void Permission::reportFailure(Failure failure, const QString &hidError)
{
    switch (failure) {
    case Failure::Open:
        qDebug() << "Can't m_hidIf open in" << m_function;
        break;
    case Failure::Write:
        qDebug() << "Can't m_hidIf write in" << m_function << "line=" << m_line;
        break;
    case Failure::Read:
        qDebug() << "Can't m_hidIf read in" << m_function << "line=" << m_line;
        break;
    }
    AbstractTab::reportFailure(failure, hidError);
}

void Permission::loadFromSettings()
{
    Settings *s = Settings::instance();
    for (int i = 0; i < kSlots; ++i) {
        PermItem *row = item(i);
        auto value = [&](int offset) {
            return s->value(Settings::Key(Settings::permKey(i, offset)), Settings::Permission);
        };
        const QVariant enable = value(0), password = value(1), work = value(2), pause = value(3),
                       cat = value(4), ptt = value(5), audio = value(6);
        // A key the file lacks keeps what the row shows.
        quint8 flags = row->flags();
        auto flag = [&flags](const QVariant &v, quint8 bit) {
            flags = settingBool(v, flags & bit) ? quint8(flags | bit) : quint8(flags & ~bit);
        };
        flag(enable, PermItem::Enabled);
        flag(cat, PermItem::Cat);
        flag(ptt, PermItem::Ptt);
        flag(audio, PermItem::Audio);
        if (password.isValid())
            row->setPassword(password.toString().left(PermItem::kPasswordMaxLength));
        row->setTimes(settingUInt(work, row->workTime()), settingUInt(pause, row->pauseTime()));
        row->setFlags(flags);
    }
}

void Permission::saveToSettings()
{
    Settings *s = Settings::instance();
    for (int i = 0; i < kSlots; ++i) {
        const PermItem *row = item(i);
        auto key = [i](int offset) { return Settings::Key(Settings::permKey(i, offset)); };
        const quint8 f = row->flags();
        (*s)(key(0), Settings::Permission) = bool(f & PermItem::Enabled);
        (*s)(key(1), Settings::Permission) = row->password();
        (*s)(key(2), Settings::Permission) = int(row->workTime());
        (*s)(key(3), Settings::Permission) = int(row->pauseTime());
        (*s)(key(4), Settings::Permission) = bool(f & PermItem::Cat);
        (*s)(key(5), Settings::Permission) = bool(f & PermItem::Ptt);
        (*s)(key(6), Settings::Permission) = bool(f & PermItem::Audio);
    }
}

} // namespace configurator
