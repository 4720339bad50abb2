#pragma once
// SIGTERM, SIGINT and SIGHUP as a Qt signal: the handler only writes the
// signal's number into a socket pair, and a notifier on the other end turns
// it into Received() inside the event loop, where the server can shut down
// in order (nothing else is safe inside a signal handler). One instance at a
// time; the previous dispositions come back when it is destroyed.
#include <QObject>

#include <csignal>

class QSocketNotifier;

class ShutdownSignals : public QObject {
    Q_OBJECT
public:
    explicit ShutdownSignals(QObject *parent = nullptr);
    ~ShutdownSignals() override;
    ShutdownSignals(const ShutdownSignals &) = delete;
    ShutdownSignals &operator=(const ShutdownSignals &) = delete;

    // The handlers are in place from construction; a signal that comes
    // before this is held and delivered by the first event loop after it.
    void Enable();
    bool IsInstalled() const { return m_installed; }
    // Readable from the moment a signal has come until it is read: a wait
    // that cannot run the event loop (a database login) watches it.
    int WatchFd() const { return m_fds[0]; }
    // The first signal that came and was not delivered yet, read here
    // instead; 0 when none.
    int TakePending();

    // "SIGTERM", "SIGINT", "SIGHUP"; "signal" for any other.
    static const char *Name(int signalNumber);

signals:
    void Received(int signalNumber);

private:
    void ReadPending();

    int m_fds[2] = {-1, -1}; // [0] read by the notifier, [1] written by the handler
    QSocketNotifier *m_notifier = nullptr;
    bool m_installed = false;
    struct sigaction m_previous[3] = {};
};
