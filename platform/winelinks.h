#pragma once

#include <QMap>
#include <QObject>
#include <QString>
#include <QVector>

// Makes the virtual COM ports visible to Windows programs under Wine: each
// port gets a symlink <prefix>/dosdevices/comN to the path it is published
// at. Entries this class did not make (a real file, a link elsewhere) are
// left alone. The static functions work on paths only; an instance remembers
// the links it made and removes them when it is destroyed.
class WineLinks final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(WineLinks)

public:
    enum class Result {
        Linked, // made now, or already there pointing at the port
        Foreign, // an entry of someone else's is in the way; left alone
        NoPrefix, // the prefix folder does not exist
        NotComName, // the port name is not COMn
        Failed, // the file system refused
    };

    explicit WineLinks(QObject *parent = nullptr);
    // Removes every link this instance made that still points at its port.
    ~WineLinks() override;

    // $WINEPREFIX when set, else ~/.wine.
    static QString defaultPrefix();
    // n of "COMn" (any case, n >= 1), else 0.
    static int comNumber(const QString &portName);
    // <prefix>/dosdevices/comN, or empty when portName is not COMn.
    static QString linkPath(const QString &prefix, const QString &portName);
    // Links portName to target in prefix; logs a line when it cannot.
    static Result link(const QString &prefix, const QString &portName, const QString &target);
    // Removes the link only when it points at target; true when none of
    // ours is left there.
    static bool unlink(const QString &prefix, const QString &portName, const QString &target);

    // Brings the links in prefix to ports (port name -> published path):
    // links the ones listed and removes the ones made earlier that are not.
    // An empty map removes them all.
    void update(const QString &prefix, const QMap<QString, QString> &ports);
    // Link paths this instance made and keeps.
    QStringList links() const;

private:
    struct Made
    {
        QString prefix;
        QString port;
        QString target;
    };
    QVector<Made> m_made;
};
