// Fuzz target for the stand-in's codec: every decoder a client's bytes can reach, and the
// client-side token decoder. Built with libFuzzer (clang -fsanitize=fuzzer) it explores; under
// gcc, fuzz_codec_runner.cpp replays the corpus in tests/standin/fuzz_corpus as a CTest test.
//
// Besides "does not crash", it checks that what decodes also survives an encode/decode round
// trip (abort() otherwise, which both drivers report).

#include "Login7.h"
#include "Packets.h"
#include "Prelogin.h"
#include "Requests.h"
#include "TokenDecoder.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace standin::tds;

namespace {

void check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz_codec: round trip broken: %s\n", what);
        std::abort();
    }
}

void decodeBody(const QByteArray& payload)
{
    const auto prelogin = decodePrelogin(payload);
    if (prelogin.ok()) {
        const auto again = decodePrelogin(encodePrelogin(prelogin.value));
        check(again.ok() && again.value.options.size() == prelogin.value.options.size(), "PRELOGIN");
        for (int i = 0; i < again.value.options.size(); ++i)
            check(again.value.options[i].data == prelogin.value.options[i].data, "PRELOGIN option data");
    }

    const auto login = decodeLogin7(payload);
    if (login.ok()) {
        const auto again = decodeLogin7(encodeLogin7(login.value));
        check(again.ok(), "LOGIN7 decodes after encoding");
        check(again.value.userName == login.value.userName && again.value.password == login.value.password
                && again.value.database == login.value.database && again.value.tdsVersion == login.value.tdsVersion
                && again.value.packetSize == login.value.packetSize,
            "LOGIN7 fields");
    }

    for (quint32 version : { Tds71, Tds74 }) {
        const auto sql = decodeSqlBatch(payload, version);
        if (sql.ok()) {
            const auto again = decodeSqlBatch(encodeSqlBatch(sql.value, version), version);
            check(again.ok() && again.value == sql.value, "SQL batch");
        }
        const auto rpc = decodeRpc(payload, version);
        if (rpc.ok())
            check(!rpc.value.isEmpty(), "RPC without calls");
        const auto tokens = decodeTokens(payload, version);
        if (tokens.ok())
            replyFromTokens(tokens.value);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));

    // As a stream of packets: every complete message to every decoder.
    PacketReader reader(1 << 20);
    reader.append(bytes);
    for (int i = 0; i < 64; ++i) {
        const auto message = reader.next();
        if (!message.ok())
            break;
        decodeBody(message.value.payload);
    }
    // And the raw bytes as a message body.
    decodeBody(bytes);
    return 0;
}
