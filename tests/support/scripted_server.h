#pragma once

#include <QByteArray>
#include <QString>

#include <QStringList>

#include <atomic>
#include <mutex>
#include <thread>

namespace quillmar::test {

// How the scripted server misbehaves.
struct ServerScript {
    int port = 0;                                    // > 0: listens there (a server replaced on its port)
    bool greet = true;                               // false: accepts, then stays silent
    QString passiveHost = QStringLiteral("127.0.0.1");  // the address its PASV reply names
    QByteArray file = {};                            // what RETR sends, whatever the name
    qint64 stallAfterBytes = -1;                     // >= 0: RETR sends this much, then goes silent
    int hangUpWhenIdleMs = -1;                       // >= 0: logged in and idle this long, it hangs up
    bool say421 = true;                              // ... sending "421 ..." first
    bool idleHangUpOnce = false;                     // ... only on the first connection
    int refuseLoginsFrom = 0;                        // > 0: that login (1 the first) and later ones get 530
    int dripBytes = 0;                               // > 0: RETR sends this much at a time ...
    int dripEveryMs = 100;                           // ... this often, until the file ends or the client leaves
    bool endlessListLine = false;                    // LIST sends one line that never ends
    QByteArray listing = {};                         // LIST sends these lines as they are, before the folder's files
    QString folder = {};                             // STOR, RNFR/RNTO, DELE and LIST work on this folder
    bool refuseRenameOntoExisting = false;           // RNTO onto an existing file is refused
    int storReadDelayMs = 0;                         // STOR or APPE reads 16 KiB, then waits this long
    qint64 refuseStorAfterBytes = -1;                // >= 0: STOR stops reading there and says 552
    bool refuseRenames = false;                      // every RNTO is refused, as where renaming is not allowed
    bool hangUpAfterDelete = false;                  // DELE deletes, then the connection closes unanswered
    bool hangUpOnBrokenStor = false;                 // a STOR cut by the client closes the control connection unanswered
    int stallListing = 0;                            // > 0: that LIST (1 the first) sends its lines, then goes silent
    bool underscoreEdgeBlanks = false;               // RNTO stores leading and trailing blanks as "_", as some servers do
    int renameDelayMs = 0;                           // RNTO takes this long before it renames and answers
    qint64 dropAfterBytes = -1;                      // >= 0: a RETR, STOR or APPE moves this much, then both connections close ...
    int drops = 1;                                   // ... this many times in all
    bool refuseRest = false;                         // REST is not understood (otherwise RETR and STOR start there)
    bool refuseAppe = false;                         // APPE is not understood
    int hangUpOnPassive = 0;                         // > 0: that PASV (1 the first) closes the connection unanswered
    QByteArray modified = {};                        // non-empty: MDTM answers this date, SIZE the size of file
    int aborReplyDelayMs = 0;                        // > 0: ABOR is answered this much later
    bool completeBeforeData = false;                 // RETR says 226 first, as a server that answers once its data is handed over
};

// A tiny FTP-ish server on 127.0.0.1 for the faults a real server will not
// produce on demand. Serves one control connection at a time on its own
// thread; data connections are accepted on 127.0.0.1 only. It also listens on
// 127.0.0.2 at the passive port and counts anyone who connects there.
class ScriptedServer {
public:
    explicit ScriptedServer(ServerScript script);
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    bool running() const { return port_ > 0; }
    int port() const { return port_; }
    int dataConnections() const { return dataConnections_; }
    int strangerConnections() const { return strangerConnections_; }
    QStringList commands() const;   // every command line received, in order

private:
    enum class Wait { Line, Closed, Idle, Stopped };
    struct Passive {
        int data = -1;
        int stranger = -1;
        void close();
    };

    void run();
    void serve(int control);
    Wait readLine(int fd, std::string& pending, std::string& line, int idleMs);
    void waitForPeerToGo(int fd);
    bool openPassive(Passive& passive, int& port);
    int acceptData(Passive& passive);
    // Each returns the control reply that ends the transfer.
    // An empty reply: the server hangs up.
    std::string retrieve(int data, qint64 from);
    std::string store(int data, const std::string& name, qint64 from, bool append);
    // Whether this transfer is one that breaks after dropAfterBytes.
    bool dropsNow();
    std::string list(int data);
    int listings_ = 0;
    int logins_ = 0;
    int idleHangUps_ = 0;
    int dropped_ = 0;
    int passives_ = 0;

    ServerScript script_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<int> dataConnections_{0};
    std::atomic<int> strangerConnections_{0};
    std::thread thread_;
    mutable std::mutex commandsMutex_;
    QStringList commands_;
};

}  // namespace quillmar::test
