#include "instance_activation.h"

#include <QLocalSocket>
#include <QPointer>

#include "single_instance.h"

namespace folvane::gui {

namespace {

constexpr char kActivate[] = "activate\n";
constexpr char kDone[] = "ok\n";
// A message longer than this is not ours.
constexpr qint64 kMaxMessage = 64;

} // namespace

InstanceActivation::InstanceActivation(const std::string& name, QObject* parent)
    : QObject(parent), m_name(name)
{
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&m_server, &QLocalServer::newConnection, this, &InstanceActivation::onConnection);
}

QString InstanceActivation::socketPath(const std::string& name)
{
    std::string lock = SingleInstance::lockPath(name);
    if (lock.empty())
        return {};
    return QString::fromStdString(lock.substr(0, lock.size() - 5) + ".socket");
}

bool InstanceActivation::listen()
{
    QString path = socketPath(m_name);
    if (path.isEmpty())
        return false;
    // The lock is ours, so a socket file found here was left by an instance that died.
    QLocalServer::removeServer(path);
    return m_server.listen(path);
}

void InstanceActivation::onConnection()
{
    while (QLocalSocket* socket = m_server.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (!socket->canReadLine()) {
                if (socket->bytesAvailable() > kMaxMessage)
                    socket->abort();
                return;
            }
            QByteArray line = socket->readLine(kMaxMessage);
            if (line == kActivate) {
                socket->write(kDone);
                socket->flush();
                emit activationRequested();
            }
            socket->disconnectFromServer();
        });
    }
}

bool InstanceActivation::activateRunning(const std::string& name, int timeoutMs)
{
    QString path = socketPath(name);
    if (path.isEmpty())
        return false;
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(timeoutMs))
        return false;
    socket.write(kActivate);
    if (!socket.waitForBytesWritten(timeoutMs))
        return false;
    while (!socket.canReadLine())
        if (!socket.waitForReadyRead(timeoutMs))
            return false;
    return socket.readLine(kMaxMessage) == kDone;
}

} // namespace folvane::gui
