#pragma once

#include <QByteArray>
#include <QList>
#include <QMetaType>
#include <QPair>
#include <QString>
#include <QStringList>

namespace morvex {

// One request of the network rig protocol, as the parser read it.
struct RigCommand
{
    enum Op {
        Invalid, // unknown command or bad arguments: answered with an error
        Empty, // blank line: no answer
        Quit,
        GetFreq,
        SetFreq,
        GetMode,
        SetMode,
        GetVfo,
        SetVfo,
        GetPtt,
        SetPtt,
        GetSplitVfo,
        SetSplitVfo,
        GetSplitFreq,
        SetSplitFreq,
        GetSplitMode,
        SetSplitMode,
        GetLevel,
        SetLevel,
        GetPowerstat,
        SetPowerstat,
        GetLockMode,
        ChkVfo,
        DumpState,
        DumpCaps
    };

    Op op = Empty;
    QString name; // long form, echoed by the extended answer
    QStringList args;
    // 0: default answers; otherwise the separator of the extended answer.
    char separator = 0;
    int error = 0; // Hamlib error code (negative) for Invalid
    // The client asked \chk_vfo before: it reads the key=value tail of
    // \dump_state (older clients stop after the capability masks).
    bool newClient = false;

    bool extended() const { return separator != 0; }
    // Answered by the radio (through Hamlib) rather than by the server.
    bool needsRadio() const;
};

// What executing a command gave: a Hamlib status (0 or negative) and the
// labelled values of a "get"; a raw text (the dumps) goes out as it is.
struct RigResult
{
    int status = 0;
    QList<QPair<QString, QString>> values;
    QByteArray raw;
    // The raw text ends with a status line in both answer forms.
    bool rawWithStatus = false;
};

namespace RigProtocol {
// Hamlib's error codes, as the protocol sends them (negated).
enum Error { Ok = 0, EInval = -1, EIo = -6, EProto = -8, ERjcted = -9, ENavail = -11 };

RigCommand parse(const QByteArray &line);
QByteArray answer(const RigCommand &cmd, const RigResult &result);
} // namespace RigProtocol

} // namespace morvex

Q_DECLARE_METATYPE(morvex::RigCommand)
Q_DECLARE_METATYPE(morvex::RigResult)
