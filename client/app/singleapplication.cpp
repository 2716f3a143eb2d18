#include "client/app/singleapplication.h"

#include <QDebug>
#include <QFile>
#include <QTimer>

#include <sys/ipc.h>
#include <sys/shm.h>

#include <cstring>

namespace morvex {

SingleApplication *SingleApplication::s_instance = nullptr;

namespace {
// Number of processes attached to the System V segment behind the key,
// or -1 when it cannot be told.
int attachCount(const QSharedMemory &segment)
{
    const key_t key = ftok(QFile::encodeName(segment.nativeKey()).constData(), 'Q');
    if (key == -1)
        return -1;
    const int id = shmget(key, 0, 0400);
    if (id == -1)
        return -1;
    struct shmid_ds ds;
    if (shmctl(id, IPC_STAT, &ds) != 0)
        return -1;
    return int(ds.shm_nattch);
}

// A crashed instance's segment whose key file was deleted can come back under
// a new key file that reuses the old inode: creation then fails with
// AlreadyExists while attaching finds nothing. Remove such a segment when no
// process holds it.
bool removeOrphanedSegment(const QString &nativeKey)
{
    QFile keyFile(nativeKey);
    if (!keyFile.exists() && !keyFile.open(QIODevice::WriteOnly))
        return false;
    keyFile.close();
    const key_t key = ftok(QFile::encodeName(nativeKey).constData(), 'Q');
    if (key == -1)
        return false;
    const int id = shmget(key, 0, 0400);
    if (id == -1)
        return false;
    struct shmid_ds ds;
    if (shmctl(id, IPC_STAT, &ds) != 0 || ds.shm_nattch != 0)
        return false;
    return shmctl(id, IPC_RMID, nullptr) == 0;
}
} // namespace

SingleApplication::SingleApplication(int &argc, char **argv, const QString &key)
    : QApplication(argc, argv)
{
    m_segment.setKey(key);
    // A segment of a crashed process can also sit under a key that a new key
    // file maps to again; creation then fails with AlreadyExists and a second
    // look finds it stale.
    bool created = false;
    for (int attempt = 0; attempt < 2 && !created; ++attempt) {
        if (attachLive()) {
            m_runningElsewhere = true;
            return;
        }
        created = m_segment.create(kSegmentSize, QSharedMemory::ReadWrite);
        if (!created
            && (m_segment.error() != QSharedMemory::AlreadyExists
                || !removeOrphanedSegment(m_segment.nativeKey())))
            break;
    }

    s_instance = this;
    m_runningElsewhere = false;
    if (!created) {
        qDebug("Unable to create single instance.");
        return;
    }
    m_segment.lock();
    static_cast<char *>(m_segment.data())[0] = '0';
    m_segment.unlock();

    auto *timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &SingleApplication::checkForMessage);
    timer->start(kPollMs);
}

SingleApplication::~SingleApplication()
{
    if (s_instance == this)
        s_instance = nullptr;
}

// A segment left behind by a crashed instance has no other process attached;
// detaching from it removes it, so this start becomes the first instance.
bool SingleApplication::attachLive()
{
    if (!m_segment.attach(QSharedMemory::ReadWrite))
        return false;
    if (attachCount(m_segment) == 1) {
        m_segment.detach();
        return false;
    }
    return true;
}

bool SingleApplication::sendMessage(const QString &message)
{
    if (!m_segment.isAttached())
        return true;
    QByteArray bytes("1");
    bytes.append(message.toUtf8());
    bytes.append('\0');
    m_segment.lock();
    const int n = qMin(bytes.size(), m_segment.size());
    memcpy(m_segment.data(), bytes.constData(), size_t(n));
    // A message cut to the capacity still ends with a zero byte.
    if (n == m_segment.size() && n > 0)
        static_cast<char *>(m_segment.data())[n - 1] = '\0';
    m_segment.unlock();
    return true;
}

void SingleApplication::checkForMessage()
{
    if (!m_segment.isAttached())
        return;
    // Take the message and clear the flag in one locked step, so a message
    // posted in between is not wiped unseen.
    m_segment.lock();
    char *area = static_cast<char *>(m_segment.data());
    const QByteArray copy(area, m_segment.size());
    if (!copy.isEmpty() && copy.at(0) != '0')
        area[0] = '0';
    m_segment.unlock();

    if (copy.isEmpty() || copy.at(0) == '0')
        return;
    const int end = copy.indexOf('\0', 1);
    const QByteArray text = copy.mid(1, end < 0 ? -1 : end - 1);
    emit messageAvailable(QString::fromUtf8(text));
}

} // namespace morvex
