#include "session/ftp_transport.h"

#include "session/listing.h"
#include "session/network_waits.h"
#include "session/server_place.h"

#include <Poco/DateTimeFormatter.h>
#include <Poco/Delegate.h>
#include <Poco/Exception.h>
#include <Poco/Net/Context.h>
#include <Poco/Net/DialogSocket.h>
#include <Poco/Net/SSLManager.h>
#include <Poco/Net/SecureStreamSocket.h>
#include <Poco/Net/Session.h>
#include <Poco/Net/X509Certificate.h>
#include <Poco/Net/NetException.h>
#include <Poco/Net/SocketAddress.h>
#include <Poco/Net/StreamSocket.h>
#include <Poco/Net/StreamSocketImpl.h>
#include <Poco/Timespan.h>

#include <QRegularExpression>

#include <openssl/ssl.h>

#include <netinet/in.h>
#include <netinet/tcp.h>

#include <algorithm>
#include <optional>
#include <type_traits>
#include <vector>

namespace quillmar {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int BlockSize = 64 * 1024;                 // one receive, one send
// What OpenSSL may take from a receiving data socket in one read: several
// records at a time, not a header and then its body.
constexpr std::size_t TlsReadAhead = 256 * 1024;
// An upload keeps no more than this unsent in the kernel. Without a bound
// the sender ran far ahead of a server on the same machine: the server then
// took our segments from its socket backlog in its own time (a slow path
// with losses and retransmissions on loopback) and fell behind; kept to one
// block, each segment is taken in at once and the server keeps pace.
constexpr int UnsentLimit = BlockSize;
constexpr auto QuitReplyWait = std::chrono::milliseconds(3000);
// How long the server may take to answer ABOR, or to explain a broken data
// connection, before the control connection is given up too.
constexpr auto ShortReplyWait = std::chrono::milliseconds(3000);
constexpr auto LookupSlice = std::chrono::milliseconds(20);
constexpr int MaxReplyLines = 1000;
constexpr int NoopDone = 200;
// The transfer's reply, ABOR's, and one more a server may add.
constexpr int MaxRepliesBeforeNoop = 3;
constexpr int RestartAccepted = 350;   // REST taken: the next transfer starts there
constexpr int SizeReply = 213;

QString Decode(const std::string& bytes)
{
    return DecodeServerText(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
}

// Whether a FEAT reply lists feature (its lines between the first and last).
bool HasFeature(const QString& featReply, QStringView feature)
{
    const QStringList lines = featReply.split(u'\n');
    for (qsizetype i = 1; i + 1 < lines.size(); ++i) {
        if (lines[i].trimmed().section(u' ', 0, 0).compare(feature, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

std::string Encode(const QString& text)
{
    return text.toUtf8().toStdString();
}

Poco::Timespan Span(std::chrono::microseconds wait)
{
    return Poco::Timespan(Poco::Timespan::TimeDiff(wait.count()));
}

// The three-digit code a reply line starts with, or -1.
int ReplyCode(const std::string& line)
{
    if (line.size() < 3 || !std::all_of(line.begin(), line.begin() + 3, [](char c) { return c >= '0' && c <= '9'; }))
        return -1;
    if (line.size() > 3 && line[3] != ' ' && line[3] != '-')
        return -1;
    return std::stoi(line.substr(0, 3));
}

// A port a data connection can go to; none for 0 or past 65535.
std::optional<Poco::UInt16> UsablePort(int port)
{
    if (port < 1 || port > 65535)
        return std::nullopt;
    return Poco::UInt16(port);
}

std::optional<Poco::UInt16> PortFromPasv(const QString& text)
{
    static const QRegularExpression pattern(QStringLiteral(R"((\d+),\s*(\d+),\s*(\d+),\s*(\d+),\s*(\d+),\s*(\d+))"));
    const auto match = pattern.match(text);
    const int high = match.captured(5).toInt();
    const int low = match.captured(6).toInt();
    // Each of the two numbers is one byte of the port.
    if (!match.hasMatch() || high > 255 || low > 255)
        return std::nullopt;
    return UsablePort(high * 256 + low);
}

std::optional<Poco::UInt16> PortFromEpsv(const QString& text)
{
    static const QRegularExpression pattern(QStringLiteral(R"(\((.)\1\1(\d+)\1\))"));
    const auto match = pattern.match(text);
    return match.hasMatch() ? UsablePort(match.captured(2).toInt()) : std::nullopt;
}

// Why the system's trust store did not vouch for the certificate of the
// handshake running on this thread; empty when it did.
thread_local QString UntrustedBecause;

// The TLS connection whose handshake last began on this thread. Poco keeps
// it to itself; an upload's two-way close needs it.
thread_local SSL* HandshakeTls = nullptr;

void NoteHandshake(const SSL* tls, int where, int)
{
    if (where & SSL_CB_HANDSHAKE_START)
        HandshakeTls = const_cast<SSL*>(tls);
}

// The system's verdict is noted, never acted on here: the person decides.
struct VerificationNotes {
    void onError(const void*, Poco::Net::VerificationErrorArgs& args)
    {
        if (UntrustedBecause.isEmpty())
            UntrustedBecause = QString::fromStdString(args.errorMessage());
        args.setIgnoreError(true);
    }
};

// One client context for every connection: TLS 1.2 or later and the
// system's certificate authorities. The transport keeps the sessions its data
// connections resume: OpenSSL's own client cache would mark a TLS 1.3 session
// spent after one use, while servers that send no fresh ticket on data
// connections (proftpd) take the same one again.
Poco::Net::Context::Ptr ClientContext()
{
    static const Poco::Net::Context::Ptr context = [] {
        Poco::Net::initializeSSL();
        Poco::Net::Context::Params params;
        params.verificationMode = Poco::Net::Context::VERIFY_RELAXED;
        params.loadDefaultCAs = true;
        Poco::Net::Context::Ptr made = new Poco::Net::Context(Poco::Net::Context::TLS_CLIENT_USE, params);
        made->requireMinimumProtocol(Poco::Net::Context::PROTO_TLSV1_2);
        made->enableSessionCache(false);
        SSL_CTX_set_default_read_buffer_len(made->sslContext(), TlsReadAhead);
        SSL_CTX_set_info_callback(made->sslContext(), NoteHandshake);
        made->enableExtendedCertificateVerification(false);   // the name is checked with the person in mind
        static VerificationNotes notes;
        Poco::Net::SSLManager::instance().ClientVerificationError += Poco::delegate(&notes, &VerificationNotes::onError);
        return made;
    }();
    return context;
}

QString Fingerprint(const Poco::Crypto::X509Certificate& certificate)
{
    QStringList pairs;
    for (const unsigned char byte : certificate.fingerprint("SHA256"))
        pairs << QStringLiteral("%1").arg(byte, 2, 16, QLatin1Char('0')).toUpper();
    return pairs.join(u':');
}

QString Utc(const Poco::DateTime& when)
{
    return QString::fromStdString(Poco::DateTimeFormatter::format(when, "%Y-%m-%d %H:%M:%S UTC"));
}

QString ProtocolName(const Poco::Net::Session::Ptr& session)
{
    switch (session ? SSL_SESSION_get_protocol_version(session->sslSession()) : 0) {
    case TLS1_3_VERSION:
        return QStringLiteral("TLS 1.3");
    case TLS1_2_VERSION:
        return QStringLiteral("TLS 1.2");
    default:
        return QStringLiteral("TLS");
    }
}

class FtpTransport final : public Transport {
public:
    // A passive data connection with its command sent and accepted.
    struct DataConnection {
        Poco::Net::StreamSocket socket;
        std::unique_ptr<CallAbort::Socket> abortable;
        bool finalReplyPending = true;
        SSL* tls = nullptr;                    // while TLS protects it
        Poco::Net::Session::Ptr offered;       // the session it was asked to resume

        void close()
        {
            abortable.reset();
            socket.close();
        }
    };

    // How the byte pump ended; Broken is settled before the caller sees it.
    enum class Ending { Complete, LocalFailed, Stalled, Broken };

    FtpTransport(bool tls, std::function<void()> d, TrustQuestion t) : requireTls(tls), disconnected(std::move(d)), trust(std::move(t)) {}

    bool requireTls;
    std::function<void()> disconnected;
    TrustQuestion trust;
    NetworkTimeout waits;
    CallAbort calls;              // shared with abort(), from any thread
    bool renaming = false;        // RNFR and RNTO are on their way

    // Worker thread only.
    std::optional<Poco::Net::DialogSocket> control;
    std::optional<Poco::Net::SecureStreamSocket> secureControl;   // while TLS protects the connection
    QString peerName;                                               // the host name TLS checks
    QString controlFingerprint;                                     // of the certificate trusted at login
    // TLS 1.3 servers take each ticket once: every data connection resumes
    // from the newest one received on any connection of this login.
    Poco::Net::Session::Ptr newestSession;
    Poco::Net::Session::Ptr controlSession;   // the control connection's, as last seen
    QString protectionText;
    std::unique_ptr<CallAbort::Socket> controlAbortable;
    bool loggedIn = false;
    bool epsvWorks = true;
    bool listsWithMlsd = false;   // the server offers machine listings
    bool tellsTimes = false;      // MDTM
    bool setsTimes = false;       // MFMT
    bool listTakesDashA = true;   // until the server refuses "LIST -a"
    bool appendWorks = true;      // until the server refuses APPE
    QHash<QString, QByteArray> rawNames;   // see Transport::setRawNames
    QString serverLabel;
    Poco::Net::IPAddress serverHost;  // where data connections go
    std::string idleText;
    bool settlePending = false;       // an abort kept the control connection

    // ---- aborting

    void checkAborted() { calls.check(); }
    bool isAborted() { return calls.aborted(); }
    FtpError abortFailure() const { return calls.failure(); }

    void beginCall() override { calls.begin(); }
    void endCall() override
    {
        calls.end();
        idleText.clear();   // what a call left unread is no idle hang-up
    }
    void abort(int number, bool keepControl) override { calls.abort(number, keepControl); }

    void settleAbort() override
    {
        if (std::exchange(settlePending, false))
            abandonTransfer();
    }

    // ---- failures

    Poco::Timespan timeout() const { return Span(waits.get()); }
    Poco::Timespan shortWait() const { return Span(waits.atMost(ShortReplyWait)); }
    FtpError silent() const { return NoAnswer(serverLabel, waits.get()); }
    FtpError lost(const QString& why = {}) const { return ConnectionLost(serverLabel, why); }

    static FtpError refused(const FtpReply& reply) { return FtpError(reply.code, reply.text); }

    // Runs one exchange with the server. Trouble on the connection closes it
    // (reporting the disconnect before the failure); a refusal keeps it, and
    // so does an abort that cut only the data connection, until ABOR tells.
    template <class Work>
    void guarded(Work&& work)
    {
        std::optional<FtpError> failure;
        try {
            work();
            return;
        } catch (const FtpError& e) {
            if (!EndsConnection(e.number) && !isAborted())
                throw;
            failure = e;
        } catch (const Poco::TimeoutException&) {
            failure = silent();
        } catch (const Poco::Exception& e) {
            failure = lost(QString::fromStdString(e.displayText()));
        }
        if (isAborted()) {
            failure = abortFailure();
            if (calls.controlKept() && control) {
                settlePending = true;
                throw *failure;
            }
        }
        dropConnection();
        throw *failure;
    }

    void requireSession() const
    {
        if (!control || !loggedIn)
            throw NoConnection();
    }

    // ---- control connection

    void setControlWait(Poco::Timespan wait)
    {
        control->setReceiveTimeout(wait);
        control->setSendTimeout(wait);
    }

    void applyTimeout()
    {
        if (!control)
            return;
        try {
            setControlWait(timeout());
        } catch (const Poco::Exception&) {
            // A dead socket shows itself at the next exchange.
        }
    }

    void sendLine(const QString& line)
    {
        checkAborted();
        control->sendMessage(EncodeCommand(line));
    }

    // A command whose argument is a name shown from Latin-1 sends the name's
    // own bytes; everything else goes as UTF-8.
    std::string EncodeCommand(const QString& line) const
    {
        const qsizetype blank = line.indexOf(u' ');
        if (blank > 0 && !rawNames.isEmpty()) {
            const auto raw = rawNames.constFind(line.sliced(blank + 1));
            if (raw != rawNames.cend())
                return QByteArray(line.first(blank + 1).toUtf8() + *raw).toStdString();
        }
        return Encode(line);
    }

    std::string receiveLine()
    {
        std::string line;
        if (!control->receiveMessage(line))
            throw lost();
        return line;
    }

    FtpReply readReply()
    {
        std::string line = receiveLine();
        const int code = ReplyCode(line);
        if (code < 0)
            throw lost(QStringLiteral("it sent \"%1\", which is not an FTP reply").arg(Decode(line).left(80)));
        FtpReply reply{code, Decode(line)};
        if (line.size() > 3 && line[3] == '-') {
            const std::string last = line.substr(0, 3) + ' ';
            for (int count = 0;; ++count) {
                if (count >= MaxReplyLines)
                    throw lost(QStringLiteral("a reply went on for more than %1 lines").arg(MaxReplyLines));
                line = receiveLine();
                reply.text += u'\n' + Decode(line);
                if (line.compare(0, 4, last) == 0 || line == last.substr(0, 3))
                    break;
            }
        }
        return reply;
    }

    FtpReply exchange(const QString& line)
    {
        sendLine(line);
        return readReply();
    }

    FtpReply command(const QString& line) override
    {
        requireSession();
        FtpReply reply;
        guarded([&] { reply = exchange(line); });
        return reply;
    }

    void require(const QString& line)
    {
        const FtpReply reply = command(line);
        if (reply.code / 100 != 2)
            throw refused(reply);
    }

    void dropConnection()
    {
        if (!control)
            return;
        controlAbortable.reset();
        control.reset();
        secureControl.reset();
        newestSession.reset();
        controlSession.reset();
        const bool wasConnected = std::exchange(loggedIn, false);
        if (wasConnected && disconnected)
            disconnected();
    }

    // After a transfer ended from our side: ABOR and the replies that close
    // the transfer. A server that does not answer within a short wait loses
    // the connection.
    void abandonTransfer()
    {
        if (!control)
            return;
        try {
            setControlWait(shortWait());
            control->sendMessage("ABOR");
            for (int replies = 0; readReply().code / 100 != 2;) {
                if (++replies >= 3)
                    throw lost(QStringLiteral("it did not confirm the end of the transfer"));
            }
            // The transfer's last word and ABOR's reply come in no fixed
            // number (a 226 sent before our ABOR takes its place); a NOOP's
            // 200 marks their end, so the next command reads its own reply.
            control->sendMessage("NOOP");
            for (int replies = 0; readReply().code != NoopDone;) {
                if (++replies >= MaxRepliesBeforeNoop)
                    throw lost(QStringLiteral("its replies after the stopped transfer did not end"));
            }
            applyTimeout();
        } catch (const std::exception&) {
            dropConnection();
        }
    }

    // Between calls: a server that hangs up (with or without a 421 first)
    // ends the connection here.
    void watchIdle() override
    {
        if (!control)
            return;
        try {
            if (!control->poll(Poco::Timespan(0), Poco::Net::Socket::SELECT_READ | Poco::Net::Socket::SELECT_ERROR))
                return;
            char bytes[1024];
            const int n = control->receiveRawBytes(bytes, sizeof bytes);
            if (n <= 0) {
                dropConnection();
                return;
            }
            idleText.append(bytes, std::size_t(n));
            if (idleText.starts_with("421") || idleText.find("\n421") != std::string::npos) {
                dropConnection();
                return;
            }
            if (idleText.size() > 4096)
                idleText.erase(0, idleText.size() - 4);
        } catch (const Poco::Exception&) {
            dropConnection();
        }
    }

    void closeAtExit() override
    {
        if (control && loggedIn) {
            try {
                control->sendMessage("QUIT");
            } catch (const Poco::Exception&) {
            }
        }
        loggedIn = false;  // nobody is left to tell
        dropConnection();
    }

    Poco::Net::StreamSocket connectControl(const FtpLogin& login)
    {
        const std::vector<NetAddress> addresses = LookUp(login.host, login.port, waits.get(), calls);
        const int fd = ConnectTcp(addresses, serverLabel, waits.get(), calls);
        return Poco::Net::StreamSocket(new Poco::Net::StreamSocketImpl(fd));
    }

    void connect(const FtpLogin& login) override
    {
        dropConnection();  // a new connect replaces the old connection
        serverLabel = ServerLabel(login);
        Poco::Net::StreamSocket socket = connectControl(login);
        socket.setNoDelay(true);
        control.emplace(socket);
        controlAbortable = std::make_unique<CallAbort::Socket>(calls, socket.impl()->sockfd(), false);
        serverHost = socket.peerAddress().host();
        epsvWorks = true;
        listsWithMlsd = false;
        tellsTimes = false;
        setsTimes = false;
        listTakesDashA = true;
        appendWorks = true;
        rawNames.clear();
        applyTimeout();
        try {
            guarded([&] { logIn(login); });
        } catch (...) {
            settlePending = false;
            dropConnection();
            throw;
        }
        loggedIn = true;
    }

    void logIn(const FtpLogin& login)
    {
        const FtpReply greeting = readReply();
        if (greeting.code / 100 != 2)
            throw refused(greeting);
        const FtpReply auth = exchange(QStringLiteral("AUTH TLS"));
        if (auth.code == 234) {
            startTls(login);
            for (const char* line : {"PBSZ 0", "PROT P"}) {
                const FtpReply reply = exchange(QLatin1String(line));
                if (reply.code / 100 != 2)
                    throw refused(reply);
            }
        } else if (requireTls) {
            throw FtpError(ftp_errors::NoEncryption,
                           QStringLiteral("The server %1 offers no encryption (it answered AUTH TLS with \"%2\"), so "
                                          "nothing more was sent to it.")
                               .arg(serverLabel, auth.text));
        } else if (login.encryptedBefore) {
            throw FtpError(ftp_errors::EncryptionDropped,
                           QStringLiteral("The server %1 offered encryption before and does not now (it answered "
                                          "AUTH TLS with \"%2\"), so neither your user name nor your password was "
                                          "sent to it.")
                               .arg(serverLabel, auth.text));
        } else {
            protectionText = QStringLiteral("Not encrypted");
        }
        FtpReply reply = exchange(QStringLiteral("USER ") + login.userName);
        if (reply.code / 100 == 3)
            reply = exchange(QStringLiteral("PASS ") + login.password);
        if (reply.code / 100 != 2)
            throw refused(reply);
        reply = exchange(QStringLiteral("TYPE I"));
        if (reply.code / 100 != 2)
            throw refused(reply);
        // What the server offers beyond the basics decides how to list and
        // whether names travel as UTF-8.
        const FtpReply features = exchange(QStringLiteral("FEAT"));
        tellsTimes = true;  // a server that lists no features may still answer MDTM
        if (features.code == 211) {
            listsWithMlsd = HasFeature(features.text, u"MLST");
            tellsTimes = HasFeature(features.text, u"MDTM");
            setsTimes = HasFeature(features.text, u"MFMT");
            if (HasFeature(features.text, u"UTF8"))
                exchange(QStringLiteral("OPTS UTF8 ON"));
        }
    }

    // TLS on the control connection, and the certificate judged: what the
    // system vouches for goes on silently, anything else is the person's call.
    void startTls(const FtpLogin& login)
    {
        UntrustedBecause.clear();
        peerName = login.host;
        secureControl = Poco::Net::SecureStreamSocket::attach(*control, Encode(login.host), ClientContext());
        control.emplace(*secureControl);
        const Poco::Net::X509Certificate certificate = secureControl->peerCertificate();
        controlFingerprint = Fingerprint(certificate);
        QString problem = UntrustedBecause;
        if (problem.isEmpty() && !certificate.verify(Encode(login.host)))
            problem = QStringLiteral("it was issued for another name");
        if (!problem.isEmpty()) {
            const ServerCertificate facts{login.host,
                                          login.port,
                                          QString::fromStdString(certificate.subjectName()),
                                          QString::fromStdString(certificate.issuerName()),
                                          Utc(certificate.validFrom()),
                                          Utc(certificate.expiresOn()),
                                          problem,
                                          Fingerprint(certificate),
                                          QString()};
            if (!trust || !trust(facts))
                throw FtpError(ftp_errors::Untrusted,
                               QStringLiteral("The certificate of the server %1 was not trusted.").arg(serverLabel));
            checkAborted();
        }
        protectionText = ProtocolName(secureControl->currentSession());
    }

    void quit() override
    {
        if (!control)
            return;
        try {
            control->setReceiveTimeout(Span(waits.atMost(QuitReplyWait)));
            exchange(QStringLiteral("QUIT"));
        } catch (const std::exception&) {
            // Closing anyway; the server's goodbye does not matter.
        }
        dropConnection();
    }

    // ---- data connections

    // Always the control connection's peer: a passive reply naming another
    // address must not send our data connection there.
    Poco::UInt16 passivePort()
    {
        if (epsvWorks) {
            const FtpReply reply = exchange(QStringLiteral("EPSV"));
            if (reply.code == 229) {
                if (auto port = PortFromEpsv(reply.text))
                    return *port;
            }
            epsvWorks = false;
        }
        const FtpReply reply = exchange(QStringLiteral("PASV"));
        if (reply.code != 227)
            throw refused(reply);
        const auto port = PortFromPasv(reply.text);
        if (!port)
            throw lost(QStringLiteral("its passive reply \"%1\" names no port").arg(reply.text));
        return *port;
    }

    // A REST the server would not take; the transfer was not started.
    struct RestartRefused {};

    // With restart ("REST <bytes>"), the transfer starts there; a server
    // refusing it throws RestartRefused before the data connection opens.
    void openData(const QString& commandLine, DataConnection& data, const QString& restart = {})
    {
        const Poco::Net::SocketAddress target(serverHost, passivePort());
        if (!restart.isEmpty() && exchange(restart).code != RestartAccepted)
            throw RestartRefused{};
        data.socket = Poco::Net::StreamSocket(target.family());
        data.abortable = std::make_unique<CallAbort::Socket>(calls, data.socket.impl()->sockfd(), true);
        data.socket.connect(target, timeout());
        data.socket.setReceiveTimeout(timeout());
        data.socket.setSendTimeout(timeout());
        // The last bytes of an upload and the TLS close go out at once.
        data.socket.setNoDelay(true);
        const FtpReply reply = exchange(commandLine);
        if (reply.code / 100 == 2)
            data.finalReplyPending = false;
        else if (reply.code / 100 != 1)
            throw refused(reply);
        // The server starts TLS on the data connection once it has said 150.
        if (secureControl)
            secureData(data);
    }

    // TLS on a data connection, resuming this login's newest session as
    // servers require. Only the server that was trusted may answer: the
    // connection must resume that session or show the trusted certificate,
    // checked before a byte moves either way.
    void secureData(DataConnection& data)
    {
        data.offered = sessionToResume();
        HandshakeTls = nullptr;
        Poco::Net::SecureStreamSocket secure =
            Poco::Net::SecureStreamSocket::attach(data.socket, Encode(peerName), ClientContext(), data.offered);
        data.tls = HandshakeTls;
        if (!secure.sessionWasReused()) {
            const QString shown = Fingerprint(secure.peerCertificate());
            if (shown != controlFingerprint)
                throw FtpError(ftp_errors::ForeignData,
                               QStringLiteral("The data connection for this transfer showed another certificate than "
                                              "the one trusted for the server %1 (SHA-256 %2 instead of %3): someone may "
                                              "be intercepting it, so it was ended before any data moved.")
                                   .arg(serverLabel, shown, controlFingerprint));
        }
        data.socket = secure;
    }

    Poco::Net::Session::Ptr sessionToResume()
    {
        const Poco::Net::Session::Ptr current = secureControl->currentSession();
        if (current && (!controlSession || current->sslSession() != controlSession->sslSession())) {
            controlSession = current;
            newestSession = current;
        }
        return newestSession;
    }

    // A ticket that came on a data connection is newer than what it resumed.
    void keepNewestSession(DataConnection& data)
    {
        if (!data.tls)
            return;
        const Poco::Net::Session::Ptr current = Poco::Net::SecureStreamSocket(data.socket).currentSession();
        if (current && (!data.offered || current->sslSession() != data.offered->sslSession()) &&
            SSL_SESSION_is_resumable(current->sslSession()))
            newestSession = current;
    }

    // Ends an upload's TLS both ways: our close_notify, then reading until
    // the server's, which takes in the session ticket servers send after the
    // handshake. Closing with that ticket unread resets the connection, and
    // the server loses the upload's tail (while some still answer 226).
    void closeUploadTls(DataConnection& data)
    {
        if (!data.tls)
            return;
        const Clock::time_point end = Clock::now() + std::chrono::microseconds(shortWait().totalMicroseconds());
        int state = SSL_shutdown(data.tls);
        char sink[4096];
        while (state == 0) {
            const auto left = std::chrono::duration_cast<std::chrono::microseconds>(end - Clock::now()).count();
            if (left <= 0 || !data.socket.poll(Poco::Timespan(left), Poco::Net::Socket::SELECT_READ))
                return;
            const int n = SSL_read(data.tls, sink, sizeof sink);
            if (n <= 0 && SSL_get_error(data.tls, n) != SSL_ERROR_WANT_READ)
                state = 1;   // the server's close_notify, or its end of the connection
        }
    }

    // Moves bytes between the data connection and the local side until the
    // end, in either direction.
    Ending pump(DataConnection& data, bool sending, const TransferLocal& local)
    {
        std::vector<char> block(std::size_t(BlockSize), '\0');
        StallWatch watch(waits.get(), [&data, sending](std::chrono::microseconds wait) {
            sending ? data.socket.setSendTimeout(Span(wait)) : data.socket.setReceiveTimeout(Span(wait));
        });
        qint64 total = 0;
        try {
            if (sending)
                data.socket.setOption(IPPROTO_TCP, TCP_NOTSENT_LOWAT, UnsentLimit);
            else if (data.tls)
                SSL_set_read_ahead(data.tls, 1);
            for (;;) {
                checkAborted();
                if (sending) {
                    const qint64 n = local.fill(block.data(), BlockSize);
                    if (n <= 0)
                        return n == 0 ? Ending::Complete : Ending::LocalFailed;
                    for (qint64 sent = 0; sent < n;) {
                        if (!watch.arm())
                            return Ending::Stalled;
                        const int step = data.socket.sendBytes(block.data() + sent, int(n - sent));
                        if (step <= 0)
                            return Ending::Broken;
                        sent += step;
                        watch.moved(step);
                    }
                    total += n;
                } else {
                    if (!watch.arm())
                        return Ending::Stalled;
                    int n = data.socket.receiveBytes(block.data(), BlockSize);
                    if (n <= 0)
                        return Ending::Complete;
                    // TLS gives one record a read: what has already come in
                    // goes to the local side with it, a block at a time.
                    for (int more = 0; data.tls && n < BlockSize && SSL_has_pending(data.tls); n += more) {
                        more = data.socket.receiveBytes(block.data() + n, BlockSize - n);
                        if (more <= 0)
                            break;
                    }
                    watch.moved(n);
                    total += n;
                    if (!local.take(block.data(), n))
                        return Ending::LocalFailed;
                }
                if (local.progress)
                    local.progress(total);
            }
        } catch (const Poco::TimeoutException&) {
            return Ending::Stalled;
        } catch (const Poco::Exception&) {
            return Ending::Broken;
        }
    }

    // Opens a data connection for command; false when the server refuses it.
    bool tryOpenData(const QString& command, DataConnection& data)
    {
        try {
            openData(command, data);
            return true;
        } catch (const FtpError& e) {
            if (e.number / 100 != 5)
                throw;
            data.close();
            data.finalReplyPending = true;
            return false;
        }
    }

    // Machine listings when offered; otherwise a long listing with hidden
    // entries where the server takes "-a", else a plain one. A refusal is
    // remembered only once a plainer listing works: a folder that cannot be
    // listed at all says nothing about the commands.
    void openListing(DataConnection& data)
    {
        const bool mlsdRefused = listsWithMlsd && !tryOpenData(QStringLiteral("MLSD"), data);
        if (listsWithMlsd && !mlsdRefused)
            return;
        const bool dashARefused = listTakesDashA && !tryOpenData(QStringLiteral("LIST -a"), data);
        if (!listTakesDashA || dashARefused)
            openData(QStringLiteral("LIST"), data);
        listsWithMlsd = listsWithMlsd && !mlsdRefused;
        listTakesDashA = listTakesDashA && !dashARefused;
    }

    // One transfer: the data command, the bytes, and the server's verdict.
    // A stall or a local failure is ended with ABOR; the connection stays
    // when the server answers.
    // A transfer from offset on: REST, then the command; nothing when the
    // server refuses REST, or refuses the command after it.
    std::optional<TransferEnd> transferFrom(const QString& commandLine, qint64 offset, bool sending, const TransferLocal& local)
    {
        try {
            return transfer([&](DataConnection& data) { openData(commandLine, data, QStringLiteral("REST %1").arg(offset)); },
                            sending, local);
        } catch (const RestartRefused&) {
            return std::nullopt;
        } catch (const FtpError& e) {
            if (e.number / 100 != 5)
                throw;
            return std::nullopt;
        }
    }

    // An upload that goes on at the end of what the server holds: APPE;
    // nothing when the server refuses it.
    std::optional<TransferEnd> append(const QString& remoteName, const TransferLocal& local)
    {
        try {
            return transfer(QStringLiteral("APPE ") + remoteName, true, local);
        } catch (const FtpError& e) {
            if (e.number / 100 != 5)
                throw;
            return std::nullopt;
        }
    }

    TransferEnd transfer(const QString& commandLine, bool sending, const TransferLocal& local)
    {
        return transfer([&](DataConnection& data) { openData(commandLine, data); }, sending, local);
    }

    TransferEnd transfer(const std::function<void(DataConnection&)>& open, bool sending, const TransferLocal& local)
    {
        requireSession();
        Ending ending = Ending::Complete;
        try {
            guarded([&] {
                DataConnection data;
                open(data);
                ending = pump(data, sending, local);
                checkAborted();
                if (ending == Ending::Complete) {
                    if (sending)
                        closeUploadTls(data);
                    keepNewestSession(data);
                }
                data.close();
                if (ending == Ending::Complete)
                    finishData(data);
                else if (ending == Ending::Broken)
                    explainBrokenData(data);
            });
        } catch (const FtpError& e) {
            if (e.number == ftp_errors::ForeignData)
                abandonTransfer();
            throw;
        }
        if (ending == Ending::Complete)
            return TransferEnd::Complete;
        abandonTransfer();
        return ending == Ending::Stalled ? TransferEnd::Stalled : TransferEnd::LocalFailed;
    }

    // Reads how the server saw the transfer.
    void finishData(DataConnection& data)
    {
        if (!data.finalReplyPending)
            return;
        const FtpReply reply = readReply();
        if (reply.code / 100 != 2)
            throw refused(reply);
    }

    // The data connection broke: the server's reason (a refusal such as a
    // full disk) is reported and the session kept; only a silent or lost
    // control connection counts as lost.
    void explainBrokenData(DataConnection& data)
    {
        const QString why = QStringLiteral("the data connection broke during the transfer");
        if (!data.finalReplyPending)
            throw lost(why);
        FtpReply reply;
        try {
            setControlWait(shortWait());
            reply = readReply();
            applyTimeout();
        } catch (const Poco::Exception&) {
            throw lost(why);
        }
        throw reply.code / 100 == 4 || reply.code / 100 == 5 ? refused(reply) : lost(why);
    }

    // RNFR then RNTO: the reply that ended it, and whether RNFR was accepted.
    // Both go out together, one round trip instead of two: a server that
    // refuses RNFR refuses the RNTO after it as out of sequence, so nothing
    // moves then.
    std::pair<FtpReply, bool> renameReply(const QString& from, const QString& to)
    {
        requireSession();
        FtpReply reply;
        bool fromAccepted = false;
        // A rename on its way cannot be called back: its replies are awaited
        // (until a hard abort), so what the server did can be told.
        const auto setRenaming = [this](bool on) {
            renaming = on;
            calls.holdControl(on);
        };
        try {
            guarded([&] {
                checkAborted();
                setRenaming(true);
                control->sendString(EncodeCommand(QStringLiteral("RNFR ") + from) + "\r\n" +
                                    EncodeCommand(QStringLiteral("RNTO ") + to) + "\r\n");
                reply = readReply();
                fromAccepted = reply.code / 100 == 3;
                const FtpReply toReply = readReply();
                if (fromAccepted)
                    reply = toReply;
                setRenaming(false);
            });
        } catch (const FtpError& e) {
            const bool sent = std::exchange(renaming, false);
            calls.holdControl(false);
            if (!sent || e.number != ftp_errors::Stopped)
                throw;
            throw FtpError(ftp_errors::Stopped,
                           QStringLiteral("Stopped while the server was renaming %1 to %2. The connection was closed "
                                          "before it answered, so whether it was renamed is not known; the list shows "
                                          "it once you connect again.")
                               .arg(from, to));
        }
        return {reply, fromAccepted};
    }

    void rename(const QString& from, const QString& to, bool replace, bool* targetRemoved) override
    {
        auto [reply, fromAccepted] = renameReply(from, to);
        // A Stop that came while the server renamed: what it did stands.
        if (isAborted()) {
            if (reply.code / 100 == 2)
                return;
            throw FtpError(ftp_errors::Stopped,
                           QStringLiteral("Stopped; the server had refused to rename %1 to %2 (%3), so %1 keeps its name.")
                               .arg(from, to, reply.text));
        }
        if (replace && reply.code / 100 != 2 && fromAccepted) {
            // Gone, as far as anyone can tell, from the moment DELE is sent
            // until the server says it refused.
            if (targetRemoved)
                *targetRemoved = true;
            FtpReply deleted;
            guarded([&] { deleted = exchange(QStringLiteral("DELE ") + to); });
            if (targetRemoved)
                *targetRemoved = deleted.code / 100 == 2;
            reply = renameReply(from, to).first;
        }
        if (reply.code / 100 != 2)
            throw refused(reply);
    }

    // ---- the calls of the seam

    void setTimeout(std::chrono::milliseconds timeout) override
    {
        waits.set(timeout);
        applyTimeout();
    }

    bool connected() const override { return control && loggedIn; }
    QString protection() const override { return connected() ? protectionText : QString(); }

    TransferEnd list(const TransferLocal& local) override
    {
        return transfer([this](DataConnection& data) { openListing(data); }, false, local);
    }

    void changeFolder(const QString& folder) override
    {
        require(folder == QLatin1String("..") ? QStringLiteral("CDUP") : QStringLiteral("CWD ") + folder);
    }

    QString currentFolder() override
    {
        return FolderFromPwdReply(command(QStringLiteral("PWD")).text).value_or(QString());
    }

    qint64 sizeOf(const QString& name) override
    {
        const FtpReply reply = command(QStringLiteral("SIZE ") + name);
        return reply.code / 100 == 2 ? SizeFromReply(reply.text, -1) : -1;
    }

    QDateTime modifiedTime(const QString& name) override
    {
        if (!tellsTimes)
            return {};
        // "213 YYYYMMDDHHMMSS", perhaps with a fraction of a second; always UTC.
        static const QRegularExpression fraction(QStringLiteral("^213 \\d{14}\\.(\\d{1,3})"));
        const FtpReply reply = command(QStringLiteral("MDTM ") + name);
        if (reply.code / 100 != 2)
            return {};
        const QDateTime when = FactTime(QStringView(reply.text).sliced(std::min<qsizetype>(4, reply.text.size())).trimmed());
        const QRegularExpressionMatch parts = fraction.match(reply.text);
        return when.isValid() && parts.hasMatch() ? when.addMSecs(parts.captured(1).leftJustified(3, u'0').toInt()) : when;
    }

    bool setModified(const QString& name, const QDateTime& time) override
    {
        if (!setsTimes || !time.isValid())
            return false;
        const QString stamp = time.toUTC().toString(QStringLiteral("yyyyMMddHHmmss"));
        return command(QStringLiteral("MFMT %1 %2").arg(stamp, name)).code / 100 == 2;
    }

    TransferEnd get(const QString& remoteName, const TransferLocal& local) override
    {
        return transfer(QStringLiteral("RETR ") + remoteName, false, local);
    }

    TransferEnd put(const TransferLocal& local, const QString& remoteName) override
    {
        return transfer(QStringLiteral("STOR ") + remoteName, true, local);
    }

    // A fresh name holds nothing to empty: APPE creates it without the
    // truncation STOR asks for, which on some servers (vsftpd on ext4) makes
    // closing the file write all of it out before the next reply, so the
    // rename after the upload waited on the server's disk.
    TransferEnd putNew(const TransferLocal& local, const QString& remoteName) override
    {
        if (appendWorks) {
            if (auto ending = append(remoteName, local))
                return *ending;
            appendWorks = false;
        }
        return put(local, remoteName);
    }

    std::optional<TransferEnd> getFrom(const QString& remoteName, qint64 offset, const TransferLocal& local) override
    {
        return transferFrom(QStringLiteral("RETR ") + remoteName, offset, false, local);
    }

    std::optional<TransferEnd> putFrom(const TransferLocal& local, const QString& remoteName, qint64 offset) override
    {
        if (auto ending = transferFrom(QStringLiteral("STOR ") + remoteName, offset, true, local))
            return ending;
        return append(remoteName, local);
    }

    void remove(const QString& name) override { require(QStringLiteral("DELE ") + name); }
    void makeFolder(const QString& name) override { require(QStringLiteral("MKD ") + name); }
    void removeFolder(const QString& name) override { require(QStringLiteral("RMD ") + name); }
    void setRawNames(QHash<QString, QByteArray> names) override { rawNames = std::move(names); }
};

}  // namespace

std::unique_ptr<Transport> MakeFtpTransport(bool requireTls, std::function<void()> disconnected, TrustQuestion trust)
{
    return std::make_unique<FtpTransport>(requireTls, std::move(disconnected), std::move(trust));
}

}  // namespace quillmar

// The entry the program resolves when it first loads this module.
extern "C" Q_DECL_EXPORT std::unique_ptr<quillmar::Transport> quillmar_make_transport(
    const QString& scheme, std::function<void()> disconnected, quillmar::TrustQuestion trust,
    quillmar::PassphraseQuestion /*passphrase*/)
{
    return quillmar::MakeFtpTransport(scheme == QLatin1String("ftps"), std::move(disconnected), std::move(trust));
}
static_assert(std::is_same_v<decltype(&quillmar_make_transport), quillmar::TransportFactory>);
