// Feeds a rig control client's byte stream, in pieces of any size, through
// the path the server takes: the line reader, the command parser, the Hamlib
// worker (without a radio model, so nothing waits on a port) and the answer
// writer; checks the protocol's form of every answer.
#include "client/rigctl/hamlibrig.h"
#include "client/rigctl/rigcommand.h"
#include "client/rigctl/riglinereader.h"
#include "fuzz/support/fuzzenv.h"
#include "fuzz/support/fuzzinput.h"

#include <QCoreApplication>

#include <cstdint>

using namespace morvex;

namespace {
HamlibRig &worker()
{
    static HamlibRig *rig = [] {
        FuzzEnv::silenceLog();
        static int argc = 1;
        static char name[] = "fuzz_rigctl";
        static char *argv[] = { name, nullptr };
        new QCoreApplication(argc, argv);
        auto *r = new HamlibRig;
        r->configure(HamlibRig::Config());
        return r;
    }();
    return *rig;
}

void answerOne(HamlibRig &rig, const RigCommand &cmd)
{
    RigResult result;
    bool got = false;
    if (cmd.op != RigCommand::Invalid && cmd.op != RigCommand::Empty && cmd.op != RigCommand::Quit) {
        // Called directly: the signal of the worker delivers at once.
        const auto c = QObject::connect(&rig, &HamlibRig::done, [&](quint64, const RigResult &r) {
            result = r;
            got = true;
        });
        rig.execute(1, cmd);
        QObject::disconnect(c);
        FuzzEnv::check(got);
    }
    const QByteArray out = RigProtocol::answer(cmd, result);
    if (cmd.op == RigCommand::Empty) {
        FuzzEnv::check(out.isEmpty());
        return;
    }
    FuzzEnv::check(out.endsWith('\n'));
    if (cmd.op == RigCommand::Invalid)
        FuzzEnv::check(out.startsWith("RPRT -"));
    // Answers carry no bytes a client could take for a line of its own.
    for (char ch : out)
        FuzzEnv::check(ch == '\n' || ch == '\t' || (ch >= 0x20 && ch < 0x7f) || ch == cmd.separator);
    if (cmd.extended())
        FuzzEnv::check(out.contains("RPRT "));
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    HamlibRig &rig = worker();
    FuzzInput in(data, size);
    RigLineReader reader;
    while (in.left() > 0) {
        const uint8_t *len = in.take(1);
        const size_t n = qMin<size_t>(in.left(), size_t(*len) * 8 + 1);
        reader.append(QByteArray(reinterpret_cast<const char *>(in.take(n)), int(n)));
        QByteArray line;
        for (;;) {
            const RigLineReader::Kind kind = reader.next(&line);
            if (kind == RigLineReader::Kind::None)
                break;
            if (kind == RigLineReader::Kind::Overlong) {
                RigCommand bad;
                bad.op = RigCommand::Invalid;
                bad.error = RigProtocol::EInval;
                answerOne(rig, bad);
                continue;
            }
            FuzzEnv::check(line.size() <= RigLineReader::kMaxLine && !line.contains('\n'));
            answerOne(rig, RigProtocol::parse(line));
        }
        // What waits for its newline stays bounded.
        FuzzEnv::check(reader.pending() <= RigLineReader::kMaxLine + 2048 + 1);
    }
    return 0;
}
