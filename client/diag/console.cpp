#include "console.h"

#include "loghook.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

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
    updateStatistics(QVector<quint32>(6, 0));
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

void Console::updateStatistics(QVector<quint32> stats)
{
    stats.resize(6);
    m_stats->setText(QStringLiteral("   received=%1\n   lost=%2\n   late=%3\n\n"
                                    "   Total received=%4\n   Total lost=%5\n   Total late=%6")
                         .arg(stats[0]).arg(stats[1]).arg(stats[2])
                         .arg(stats[3]).arg(stats[4]).arg(stats[5]));
}
