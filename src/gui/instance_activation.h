#pragma once
// InstanceActivation: a second start of the program brings the running window to the front.
//
// The running instance (the one holding the SingleInstance lock) listens on a local socket beside
// the lock file, in the same folder that only the user can write; the socket itself is open to
// the user only. A later start, finding the lock held, connects, sends "activate" and ends. The
// listener takes nothing else: any other message, or more than a line, is dropped.

#include <QLocalServer>
#include <QObject>

#include <string>

namespace folvane::gui {

class InstanceActivation : public QObject {
    Q_OBJECT
public:
    // `name` is the application name, as given to SingleInstance.
    explicit InstanceActivation(const std::string& name, QObject* parent = nullptr);

    // Starts listening; only the process that holds the instance lock may call it (it replaces a
    // socket a crashed instance left behind). False when the socket cannot be made.
    bool listen();

    // From a second start: asks the running instance to show its window. True when it
    // confirmed within `timeoutMs`.
    static bool activateRunning(const std::string& name, int timeoutMs = 3000);

    // The socket's path: the lock file's path with ".socket" for ".lock"; empty when there is no
    // private folder for it.
    static QString socketPath(const std::string& name);

signals:
    // Another start asked for the window.
    void activationRequested();

private:
    void onConnection();

    std::string m_name;
    QLocalServer m_server;
};

} // namespace folvane::gui
