#include "common/settings.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace brelko {

namespace {
QString &startupFile()
{
    static QString path;
    return path;
}

QString statusText(QSettings::Status st)
{
    switch (st) {
    case QSettings::AccessError:
        return QStringLiteral("access error");
    case QSettings::FormatError:
        return QStringLiteral("format error");
    default:
        return QStringLiteral("no error");
    }
}

// The file holds passwords: only its owner may read it.
void narrowToOwner(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat st = {};
    if (::stat(name.constData(), &st) != 0 || !S_ISREG(st.st_mode) || (st.st_mode & 077) == 0)
        return;
    const mode_t narrowed = st.st_mode & 0700;
    if (::chmod(name.constData(), narrowed) != 0) {
        qWarning("Settings file %s is readable by others and cannot be narrowed: %s", name.constData(),
            std::strerror(errno));
        return;
    }
    qWarning("Settings file %s was readable by others; now %04o", name.constData(), unsigned(narrowed));
}

// QSettings writes a new file with the umask's mode, but gives a rewrite the
// mode of the file it replaces: make the first file ourselves, owner-only.
void createPrivate(const QString &path)
{
    if (QFileInfo::exists(path))
        return;
    QDir().mkpath(QFileInfo(path).absolutePath());
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0)
        ::close(fd);
}
} // namespace

Settings::Reference &Settings::Reference::operator=(const QVariant &value)
{
    m_store->writePath(m_path, value);
    return *this;
}

Settings::Reference::operator QVariant() const
{
    return m_store->readPath(m_path);
}

Settings::Settings(QObject *parent)
    : QObject(parent)
{
    const QMetaObject &mo = staticMetaObject;
    m_sectionEnum = mo.enumerator(mo.indexOfEnumerator("Section"));
    m_keyEnum = mo.enumerator(mo.indexOfEnumerator("Key"));
    narrowToOwner(defaultFile());
    openFile(defaultFile());
}

Settings::~Settings()
{
    // The file object goes first so pending writes are flushed.
    m_file.reset();
}

void Settings::setDefaultFile(const QString &path)
{
    startupFile() = path;
}

QString Settings::defaultFile()
{
    if (startupFile().isEmpty()) {
#ifdef BRELKO_CONFIGURATOR
        startupFile() = standardFile(QStringLiteral("Zentrik/config.ini"));
#else
        startupFile() = standardFile(QStringLiteral("Zentrik/Brelko Software/Morvex.ini"));
#endif
    }
    return startupFile();
}

QString Settings::standardFile(const QString &relative)
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QLatin1Char('/')
        + relative;
}

Settings *Settings::instance()
{
    // Function-local static: thread-safe lazy construction, destroyed at exit.
    static Settings store;
    return &store;
}

void Settings::openFile(const QString &path)
{
    // The file and its folders are made on the first write (createPrivate).
    m_file = std::make_unique<QSettings>(path, QSettings::IniFormat);
    if (m_file->status() != QSettings::NoError)
        qWarning() << "Settings: cannot read" << path << ":" << statusText(m_file->status())
                   << "- using defaults";
}

QString Settings::keyPath(Key key, Section section) const
{
    const QString keyName = QString::fromLatin1(m_keyEnum.valueToKey(key));
    if (section == General)
        return keyName;
    const QString sectionName = QString::fromLatin1(m_sectionEnum.valueToKey(section));
    if (sectionName.isEmpty())
        return keyName;
    if (keyName.isEmpty())
        return sectionName;
    return QStringLiteral("%2/%1").arg(keyName, sectionName);
}

QVariant Settings::readPath(const QString &path)
{
    if (m_file->contains(path))
        return m_file->value(path);
    // Records an invalid default for unregistered paths, as a lookup does.
    return m_defaults[path];
}

void Settings::writePath(const QString &path, const QVariant &value)
{
    createPrivate(m_file->fileName());
    m_file->setValue(path, value);
}

QVariant Settings::value(Key key, Section section)
{
    return readPath(keyPath(key, section));
}

Settings::Reference Settings::operator()(Key key, Section section)
{
    return Reference(this, keyPath(key, section));
}

void Settings::setValue(Key key, Section section, const QVariant &value)
{
    writePath(keyPath(key, section), value);
}

void Settings::loadDefaults(const QString &text)
{
    static const QRegularExpression splitter(QStringLiteral(";\\W*"));
    static const QRegularExpression entry(
        QStringLiteral("^\\s*(((\\w+)/)?(\\w+))\\s*:\\s*([^\\s].{0,})\\b\\s*$"));

    const QStringList pieces = text.split(splitter, Qt::SkipEmptyParts);
    for (const QString &piece : pieces) {
        const QRegularExpressionMatch m = entry.match(piece);
        if (!m.hasMatch())
            continue;
        bool ok = false;
        m_keyEnum.keyToValue(m.captured(4).toLatin1().constData(), &ok);
        if (!ok)
            continue;
        const QString section = m.captured(3);
        if (!section.isEmpty()) {
            m_sectionEnum.keyToValue(section.toLatin1().constData(), &ok);
            if (!ok)
                continue;
        }
        m_defaults.insert(m.captured(1), QVariant(m.captured(5)));
    }
}

QString Settings::fileName() const
{
    return m_file->fileName();
}

int Settings::status() const
{
    return m_file->status();
}

void Settings::sync()
{
    m_file->sync();
}

#ifdef BRELKO_CONFIGURATOR
void Settings::setFile(const QString &path)
{
    // The same file is read again too: it may have been edited outside since.
    // Our own unsaved changes go to it first.
    if (QFileInfo(path).absoluteFilePath() == QFileInfo(m_file->fileName()).absoluteFilePath())
        m_file->sync();
    m_file.reset();
    openFile(path);
}
#endif

} // namespace brelko
