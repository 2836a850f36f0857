// A tiny HTTP/1.0 server on 127.0.0.1 for tests of network clients: each path
// answers with a scripted status, headers and body, or never answers at all.
// Runs on the Qt event loop of the test's thread; the port is chosen by the
// system.
//
//     LoopbackHttpServer server;
//     server.route("/appcast.xml", {200, {}, feedBytes});
//     QUrl url = server.url("/appcast.xml");
#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QPair>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>

namespace hg::testing {

class LoopbackHttpServer {
public:
    struct Response {
        int status = 200;
        QList<QPair<QByteArray, QByteArray>> headers;
        QByteArray body;
        bool silent = false;           // accept the request and never answer
        bool withContentLength = true; // otherwise the end of the body is the end of the connection
    };

    LoopbackHttpServer()
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&m_server, &QTcpServer::newConnection, &m_server, [this] { accept(); });
    }

    void route(const QByteArray& path, Response response) { m_routes[path] = std::move(response); }
    [[nodiscard]] QUrl url(const QString& path) const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_server.serverPort()).arg(path));
    }
    [[nodiscard]] quint16 port() const { return m_server.serverPort(); }
    // Every request line and header block received, in order.
    [[nodiscard]] const QList<QByteArray>& requests() const { return m_requests; }

private:
    void accept()
    {
        while (QTcpSocket* socket = m_server.nextPendingConnection()) {
            auto buffer = std::make_shared<QByteArray>();
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, buffer] {
                buffer->append(socket->readAll());
                if (!buffer->contains("\r\n\r\n") || buffer->isEmpty())
                    return;
                m_requests.append(*buffer);
                const QByteArray path = buffer->split(' ').value(1);
                buffer->clear();
                answer(socket, m_routes.value(path, Response{404, {}, "not here"}));
            });
            QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    }

    static void answer(QTcpSocket* socket, const Response& response)
    {
        if (response.silent)
            return;
        QByteArray head = "HTTP/1.0 " + QByteArray::number(response.status) + " Scripted\r\n";
        for (const auto& [name, value] : response.headers)
            head += name + ": " + value + "\r\n";
        if (response.withContentLength)
            head += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
        head += "Connection: close\r\n\r\n";
        socket->write(head + response.body);
        socket->disconnectFromHost();
    }

    QTcpServer m_server;
    QMap<QByteArray, Response> m_routes;
    QList<QByteArray> m_requests;
};

} // namespace hg::testing
