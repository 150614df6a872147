#include "gui/SingleInstance.h"

#include <unistd.h>

#include <QCryptographicHash>
#include <QLocalServer>
#include <QLocalSocket>

namespace tovi::gui {

namespace {
constexpr int kWaitMs = 1000;
const QByteArray kRequest = "show\n";
}  // namespace

SingleInstance::SingleInstance(const std::filesystem::path& programDir, QObject* parent) : QObject(parent) {
    std::error_code ec;
    const std::filesystem::path dir = std::filesystem::weakly_canonical(programDir, ec);
    const QByteArray key = QByteArray::fromStdString((ec ? programDir : dir).string());
    // Per user and directory; short enough for a socket path.
    m_name = QStringLiteral("tovidesk-%1-%2")
                 .arg(::getuid())
                 .arg(QString::fromLatin1(
                     QCryptographicHash::hash(key, QCryptographicHash::Sha1).toHex().left(16)));
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::askRunningCopy() {
    QLocalSocket socket;
    socket.connectToServer(m_name);
    if (!socket.waitForConnected(kWaitMs)) return false;
    socket.write(kRequest);
    socket.waitForBytesWritten(kWaitMs);
    socket.disconnectFromServer();
    return true;
}

bool SingleInstance::handOver() {
    // A copy that answers runs; a name nobody answers on was left by a copy that crashed.
    if (askRunningCopy()) return true;
    QLocalServer::removeServer(m_name);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(m_name)) return false;  // without the guard rather than not at all
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* peer = m_server->nextPendingConnection()) {
            connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
            connect(peer, &QLocalSocket::readyRead, this, [this, peer] {
                if (peer->readAll().contains("show")) emit activationRequested();
            });
        }
    });
    return false;
}

}  // namespace tovi::gui
