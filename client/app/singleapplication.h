#pragma once

#include <QApplication>
#include <QSharedMemory>

namespace morvex {

// Keeps Morvex to one instance: a later start hands its argument to the
// running one through a shared segment that the first instance polls.
class SingleApplication final : public QApplication
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SingleApplication)

public:
    // Room for a message: Linux does not round the segment up to a page.
    static constexpr int kSegmentSize = 4096;
    static constexpr int kPollMs = 500;

    SingleApplication(int &argc, char **argv, const QString &key);
    ~SingleApplication() override;

    static SingleApplication *instance() { return s_instance; }

    bool isRunning() const { return m_runningElsewhere; }
    bool sendMessage(const QString &message);

signals:
    void messageAvailable(QString message);

public slots:
    void checkForMessage();

private:
    bool attachLive();

    static SingleApplication *s_instance;
    bool m_runningElsewhere = false;
    QSharedMemory m_segment;
};

} // namespace morvex
