// Replays the fuzz corpus through LLVMFuzzerTestOneInput, so the corpus runs as an ordinary
// test under any compiler. Each file is also replayed cut short at every length and with each
// of its bytes flipped in turn (deterministic, so a failure is repeatable).
//
//   fuzz_codec_runner [FILE|DIR ...]       default: $TALLYPORT_SOURCE_DIR/tests/standin/fuzz_corpus
//   fuzz_codec_runner --write-corpus DIR   writes the starting corpus, made with the codec's encoders
//
// Exit code 0 when every input ran; 1 when the corpus is missing or empty (a crash or a broken
// round trip ends the process on its own).

#include "Login7.h"
#include "Packets.h"
#include "Prelogin.h"
#include "Requests.h"
#include "Tokens.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

using namespace standin;
using namespace standin::tds;

namespace {

void run(const QByteArray& input)
{
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(input.constData()), size_t(input.size()));
}

void runWithVariations(const QByteArray& input)
{
    run(input);
    const int cuts = int(qMin<qsizetype>(input.size(), 2048));
    for (int n = 0; n < cuts; ++n)
        run(input.left(n));
    const int flips = int(qMin<qsizetype>(input.size(), 1024));
    for (int i = 0; i < flips; ++i) {
        QByteArray mutated = input;
        mutated[i] = char(mutated[i] ^ 0xFF);
        run(mutated);
        mutated[i] = char(input[i] ^ 0x01);
        run(mutated);
    }
}

bool writeSeeds(const QString& dirPath)
{
    QDir dir(dirPath);
    if (!dir.mkpath(QStringLiteral(".")))
        return false;
    auto write = [&](const char* name, const QByteArray& bytes) {
        QFile f(dir.filePath(QLatin1String(name)));
        return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
    };

    Prelogin client;
    client.options = { { PreloginVersion, QByteArray::fromHex("090000000000") },
        { PreloginEncryption, QByteArray(1, '\0') }, { PreloginInstOpt, QByteArray("MSSQLServer", 12) },
        { PreloginThreadId, QByteArray::fromHex("4D2E0000") }, { PreloginMars, QByteArray(1, '\0') } };

    Login7 login;
    login.hostName = QStringLiteral("tp");
    login.userName = QStringLiteral("sa");
    login.password = QStringLiteral("Stand1n#Pw");
    login.appName = QStringLiteral("TSQL");
    login.serverName = QStringLiteral("127.0.0.1");
    login.clientInterfaceName = QStringLiteral("TDS-Library");
    login.language = QStringLiteral("us_english");
    login.database = QStringLiteral("UFDATA_001_2007");
    login.featureExt = QByteArray::fromHex("0A0100000001FF");
    Login7 login71 = login;
    login71.tdsVersion = Tds71;
    login71.featureExt.clear();

    RpcCallWire prepexec;
    prepexec.procId = SpPrepExec;
    prepexec.params = { { QString(), true, TypeIntN, 4, Cell(), serverCollation() },
        { QString(), false, TypeNText, 0x7FFFFFFF, Cell(QStringLiteral("@P1 varchar(8)")), serverCollation() },
        { QString(), false, TypeNText, 0x7FFFFFFF,
            Cell(QStringLiteral("select name from sysdatabases where name = @P1")), serverCollation() },
        { QString(), false, TypeBigVarChar, 8, Cell(QStringLiteral("master")), serverCollation() } };
    RpcCallWire byName;
    byName.procName = QStringLiteral("sp_detach_db");
    byName.params = { { QStringLiteral("@dbname"), false, TypeNVarChar, 0xFFFF, Cell(QStringLiteral("UFDATA_001_2007")),
                          serverCollation() },
        { QStringLiteral("@x"), false, TypeBitN, 1, Cell(qint64(1)), serverCollation() },
        { QStringLiteral("@b"), false, TypeBigVarBinary, 16, Cell(QByteArray::fromHex("DEADBEEF")), serverCollation() },
        { QStringLiteral("@c"), false, TypeNChar, 20, Cell(QStringLiteral("abc")), serverCollation() },
        { QStringLiteral("@t"), false, TypeText, 0x7FFFFFFF, Cell(QStringLiteral("t")), serverCollation() } };
    RpcCallWire unprepare;
    unprepare.procId = SpUnprepare;
    unprepare.params = { { QString(), false, TypeIntN, 4, Cell(qint64(1)), serverCollation() } };

    LoginReplyParams loginReply;
    loginReply.serverName = QStringLiteral("STANDIN");
    LoginReplyParams loginReply71 = loginReply;
    loginReply71.answeredVersion = Tds71;
    loginReply71.serverMajor = 8;

    auto col = [](const char* name, ColumnType type, int length, bool nullable) {
        Column c;
        c.name = QLatin1String(name);
        c.type = type;
        c.maxLength = length;
        c.nullable = nullable;
        return c;
    };
    Reply types;
    types.events.append(
        ResultSet { { col("name", ColumnType::NVarChar, 128, false), col("fixed", ColumnType::NChar, 10, true),
                        col("status", ColumnType::Int, 4, false), col("n", ColumnType::Int, 4, true),
                        col("dbid", ColumnType::SmallInt, 2, false), col("cmpt", ColumnType::TinyInt, 1, true),
                        col("crdate", ColumnType::DateTime, 8, false), col("d", ColumnType::DateTime, 8, true),
                        col("sid", ColumnType::VarBinary, 85, true), col("value", ColumnType::Variant, 0, true),
                        col("big", ColumnType::NVarChar, -1, true) },
            { { Cell(QStringLiteral("master")), Cell(QStringLiteral("abc")), Cell(qint64(-1)), Cell(), Cell(qint64(1)),
                  Cell(qint64(80)), Cell(DateTimeValue { 45364, 14859150 }), Cell(), Cell(QByteArray::fromHex("01")),
                  Cell(QStringLiteral("16.0.1000.6")), Cell(QStringLiteral("x")) },
                { Cell(QStringLiteral("tempdb")), Cell(), Cell(qint64(8)), Cell(qint64(2)), Cell(qint64(2)), Cell(),
                    Cell(DateTimeValue {}), Cell(DateTimeValue { 1, 2 }), Cell(), Cell(qint64(611)), Cell() } } });
    Done count;
    count.status = Done::Count;
    count.curCmd = 0xC1;
    count.rowCount = 2;
    types.events.append(count);
    Message info;
    info.number = 2528;
    info.severity = 10;
    info.text = QStringLiteral(
        "DBCC execution completed. If DBCC printed error messages, contact your system administrator.");
    types.events.append(info);
    Message error;
    error.number = 3703;
    error.severity = 16;
    error.text = QStringLiteral("Cannot detach the database 'Acct2023' because it is currently in use.");
    types.events.append(error);
    Done failed;
    failed.status = Done::Error;
    types.events.append(failed);
    types.events.append(DatabaseChange { QStringLiteral("UFDATA_001_2007"), QStringLiteral("master") });

    Reply rpcReply;
    Done inproc;
    inproc.kind = Done::Kind::DoneInProc;
    rpcReply.events.append(inproc);
    rpcReply.events.append(ReturnStatus { 0 });
    ReturnValue handle;
    handle.type.type = ColumnType::Int;
    handle.value = qint64(1);
    rpcReply.events.append(handle);
    Done proc;
    proc.kind = Done::Kind::DoneProc;
    rpcReply.events.append(proc);

    TokenContext ctx74 { Tds74, QStringLiteral("STANDIN"), serverCollation() };
    TokenContext ctx71 { Tds71, QStringLiteral("STANDIN"), serverCollation() };

    const QString longSql = QStringLiteral("select name from sysdatabases ORDER BY name\n").repeated(120);
    return write("prelogin.bin", packetize(PreloginPacket, encodePrelogin(client), 4096, 0, 0))
        && write(
            "prelogin_answer.bin", packetize(ReplyPacket, encodePrelogin(serverPreloginAnswer(16, 0, 1000)), 4096, 51))
        && write("login7_74.bin", packetize(Login7Packet, encodeLogin7(login), 4096, 0, 0))
        && write("login7_71.bin", packetize(Login7Packet, encodeLogin7(login71), 4096, 0, 0))
        && write("batch_74.bin",
            packetize(SqlBatchPacket,
                encodeSqlBatch(QStringLiteral("select name from sysdatabases ORDER BY name"), Tds74), 4096, 0))
        && write("batch_71.bin",
            packetize(SqlBatchPacket, encodeSqlBatch(QStringLiteral("exec sp_detach_db N'x'"), Tds71), 4096, 0))
        && write("batch_multi_packet.bin", packetize(SqlBatchPacket, encodeSqlBatch(longSql, Tds74), 512, 0))
        && write("rpc_74.bin", packetize(RpcPacket, encodeRpc({ prepexec, byName, unprepare }, Tds74), 4096, 0))
        && write("rpc_71.bin", packetize(RpcPacket, encodeRpc({ prepexec, unprepare }, Tds71), 4096, 0))
        && write("attention.bin", packetize(AttentionPacket, QByteArray(), 4096, 0))
        && write("login_reply_74.bin", packetize(ReplyPacket, encodeLoginReply(loginReply), 4096, 51))
        && write("login_reply_71.bin", packetize(ReplyPacket, encodeLoginReply(loginReply71), 4096, 51))
        && write("reply_types_74.bin", packetize(ReplyPacket, encodeReply(types, RequestKind::Batch, ctx74), 4096, 51))
        && write("reply_types_71.bin", packetize(ReplyPacket, encodeReply(types, RequestKind::Batch, ctx71), 4096, 51))
        && write("reply_rpc_74.bin", packetize(ReplyPacket, encodeReply(rpcReply, RequestKind::Rpc, ctx74), 4096, 51));
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.size() == 2 && args[0] == QLatin1String("--write-corpus"))
        return writeSeeds(args[1]) ? 0 : 1;
    if (args.isEmpty())
        args.append(qEnvironmentVariable("TALLYPORT_SOURCE_DIR") + QStringLiteral("/tests/standin/fuzz_corpus"));

    int inputs = 0;
    for (const QString& arg : std::as_const(args)) {
        QStringList files;
        if (QFileInfo(arg).isDir()) {
            const QDir dir(arg);
            for (const QString& name : dir.entryList(QDir::Files, QDir::Name))
                files.append(dir.filePath(name));
        } else {
            files.append(arg);
        }
        for (const QString& path : std::as_const(files)) {
            QFile f(path);
            if (!f.open(QIODevice::ReadOnly)) {
                std::fprintf(stderr, "cannot read %s\n", qPrintable(path));
                return 1;
            }
            std::printf("%s\n", qPrintable(QFileInfo(path).fileName()));
            std::fflush(stdout);
            runWithVariations(f.readAll());
            ++inputs;
        }
    }
    if (inputs == 0) {
        std::fprintf(stderr, "no corpus files in %s\n", qPrintable(args.join(QLatin1Char(' '))));
        return 1;
    }
    std::printf("%d corpus files replayed\n", inputs);
    return 0;
}
