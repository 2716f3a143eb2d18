#include "client/diag/console.h"

#include "client/diag/loghook.h"

#include <QDebug>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace morvex {

Console::Console(QWidget *parent)
    : QWidget(parent)
    , m_tabs(new QTabWidget(this))
    , m_view(new QPlainTextEdit(this))
    , m_stats(new QLabel(this))
    , m_pauseBtn(new QPushButton(tr("Pause"), this))
    , m_clearBtn(new QPushButton(tr("Clear"), this))
{
    setWindowIcon(QIcon(QStringLiteral(":/images/console.png")));
    setWindowTitle(tr("Console"));
    m_view->setReadOnly(true);
    m_view->setMaximumBlockCount(kMaxLines);
    m_stats->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_tabs->addTab(m_view, tr("Console"));
    m_tabs->addTab(m_stats, tr("Statistics"));

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_pauseBtn);
    buttons->addWidget(m_clearBtn);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs);
    layout->addLayout(buttons);

    connect(this, &Console::sendMessage, this, &Console::message);
    connect(m_pauseBtn, &QPushButton::clicked, this, &Console::pause);
    connect(m_clearBtn, &QPushButton::clicked, this, &Console::clear);
    updateStatistics(QVector<quint32>(kStatistics, 0));
    LogHook::registerConsole(this);
}

Console::~Console()
{
    LogHook::unregisterConsole(this);
}

QString Console::text() const
{
    return m_view->toPlainText();
}

QString Console::statisticsText() const
{
    return m_stats->text();
}

void Console::message(const QString &line)
{
    if (!m_paused)
        m_view->appendPlainText(line);
}

void Console::pause()
{
    m_paused = !m_paused;
    m_pauseBtn->setText(m_paused ? tr("Start") : tr("Pause"));
}

void Console::clear()
{
    m_view->clear();
}

QString Console::statisticsLine(QVector<quint32> stats)
{
    stats.resize(kStatistics);
    return QStringLiteral(
        "received=%1 lost=%2 late=%3 total received=%4 total lost=%5 total late=%6 foreign=%7")
        .arg(stats[0])
        .arg(stats[1])
        .arg(stats[2])
        .arg(stats[3])
        .arg(stats[4])
        .arg(stats[5])
        .arg(stats[6]);
}

void Console::updateStatistics(QVector<quint32> stats)
{
    // Older senders of the vector stop before the foreign count.
    stats.resize(kStatistics);
    m_stats->setText(QStringLiteral("   received=%1\n   lost=%2\n   late=%3\n\n"
                                    "   Total received=%4\n   Total lost=%5\n   Total late=%6\n"
                                    "   foreign=%7")
                         .arg(stats[0])
                         .arg(stats[1])
                         .arg(stats[2])
                         .arg(stats[3])
                         .arg(stats[4])
                         .arg(stats[5])
                         .arg(stats[6]));
    // Audio from anyone but the box is dropped; that it happens belongs in
    // the log, not only on this tab. The count restarts with each stream,
    // so any change to a non-zero count is news.
    const quint32 foreign = stats[6];
    if (foreign != m_foreignLogged && foreign > 0)
        qWarning().noquote() << "Receive statistics:" << statisticsLine(stats);
    m_foreignLogged = foreign;
}

} // namespace morvex
