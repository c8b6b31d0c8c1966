// The Telnet codec of the RFC 2217 port. One client takes whatever a server may send, in any split;
// a second pair of clients carries the line's bytes: what one escapes, the other, agreeing on the
// binary line as the first, must take back unchanged. Each control byte picks the next event:
//   0x00..0x7F  (c & 0x7F) + 1 of the following bytes fed to the first client in one call
//   0x80..0x8F  a whole command to the pair, its option the next byte, by the low two bits: the
//               server agrees to binary or the like (DO to the sender, WILL to the receiver), takes
//               it back (DONT, WONT), or says DO or DONT to the receiver alone
//   0x90..0xFF  ((c - 0x90) & 0x3F) + 1 of the following bytes escaped by the sender and fed to
//               the receiver in two calls, split where the next byte says
// Every feed gives back no more bytes than it took and answers only with whole commands, never more
// of them than the server sent.

#include "fuzz/FuzzInput.h"
#include "platform/Telnet.h"

using namespace kvam;

namespace {

/// `reply` is a run of IAC WILL|WONT|DO|DONT option commands.
bool wholeCommands(const QByteArray& reply)
{
    if (reply.size() % 3 != 0)
        return false;
    for (qsizetype i = 0; i < reply.size(); i += 3) {
        const auto verb = static_cast<std::uint8_t>(reply[i + 1]);
        if (static_cast<std::uint8_t>(reply[i]) != TelnetClient::kIac || verb < TelnetClient::kWill ||
            verb > TelnetClient::kDont)
            return false;
    }
    return true;
}

QByteArray command(std::uint8_t verb, std::uint8_t option)
{
    QByteArray out;
    out += char(TelnetClient::kIac);
    out += char(verb);
    out += char(option);
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Input in(data, size);
    TelnetClient any;
    any.start();
    TelnetClient sender;
    TelnetClient receiver;
    sender.start();
    receiver.start();
    qsizetype fedTotal = 0;
    qsizetype repliedTotal = 0;

    int events = 0;
    while (!in.empty() && ++events < 4096) {
        const std::uint8_t c = in.byte();
        if (c < 0x80) {
            const QByteArray chunk = in.bytes(std::size_t(c & 0x7F) + 1);
            QByteArray reply;
            const QByteArray got = any.feed(chunk, reply);
            KVAM_FUZZ_CHECK(got.size() <= chunk.size());
            KVAM_FUZZ_CHECK(wholeCommands(reply));
            fedTotal += chunk.size();
            repliedTotal += reply.size();
            // An answer is owed only for a whole command of three bytes.
            KVAM_FUZZ_CHECK(repliedTotal <= fedTotal);
        } else if (c < 0x90) {
            const std::uint8_t option = in.byte();
            QByteArray reply;
            QByteArray got;
            switch (c & 3) {
            case 0:
                sender.feed(command(TelnetClient::kDo, option), reply);
                got = receiver.feed(command(TelnetClient::kWill, option), reply);
                break;
            case 1:
                sender.feed(command(TelnetClient::kDont, option), reply);
                got = receiver.feed(command(TelnetClient::kWont, option), reply);
                break;
            case 2:
                got = receiver.feed(command(TelnetClient::kDo, option), reply);
                if (option == TelnetClient::kComPort)
                    KVAM_FUZZ_CHECK(receiver.comPort() == TelnetClient::ComPort::Accepted);
                break;
            default:
                got = receiver.feed(command(TelnetClient::kDont, option), reply);
                if (option == TelnetClient::kComPort)
                    KVAM_FUZZ_CHECK(receiver.comPort() == TelnetClient::ComPort::Refused);
                break;
            }
            KVAM_FUZZ_CHECK(got.isEmpty());
            KVAM_FUZZ_CHECK(reply.size() <= 6 && wholeCommands(reply));
        } else {
            const QByteArray line = in.bytes(std::size_t((c - 0x90) & 0x3F) + 1);
            const QByteArray wire = sender.escape(line);
            KVAM_FUZZ_CHECK(wire.size() >= line.size() && wire.size() <= 2 * line.size());
            const qsizetype split = qsizetype(in.byte()) % (wire.size() + 1);
            QByteArray reply;
            const QByteArray back =
                receiver.feed(wire.left(split), reply) + receiver.feed(wire.mid(split), reply);
            KVAM_FUZZ_CHECK(back == line);
            KVAM_FUZZ_CHECK(reply.isEmpty());
        }
    }
    return 0;
}
