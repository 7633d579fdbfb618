#pragma once
// A tiny HTTP server on 127.0.0.1 for the card tests: serves PNG pictures by
// path and records every path asked for.

#include <QBuffer>
#include <QImage>
#include <QMap>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>

namespace velmora::test_support {

class PictureServer : public QObject {
  public:
    PictureServer() {
        server_.listen(QHostAddress::LocalHost);
        connect(&server_, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { Answer(socket); });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }

    void AddPicture(const QString& path, QSize size, QColor color) {
        QImage image(size, QImage::Format_RGB32);
        image.fill(color);
        QBuffer buffer(&files_[path]);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
    }
    QString Address(const QString& path) const {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(server_.serverPort()).arg(path);
    }
    const QStringList& Requests() const { return requests_; }

  private:
    void Answer(QTcpSocket* socket) {
        const QByteArray request = socket->readAll();
        const QList<QByteArray> parts = request.split(' ');
        const QString path = parts.size() > 1 ? QString::fromLatin1(parts[1]) : QString();
        requests_ << path;
        const auto file = files_.constFind(path);
        QByteArray reply;
        if (file == files_.constEnd()) {
            reply = "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
        } else {
            reply = "HTTP/1.1 200 OK\r\nContent-Type: image/png\r\nContent-Length: " +
                    QByteArray::number(file->size()) + "\r\nConnection: close\r\n\r\n" + *file;
        }
        socket->write(reply);
        socket->disconnectFromHost();
    }

    QTcpServer server_;
    QMap<QString, QByteArray> files_;
    QStringList requests_;
};

}  // namespace velmora::test_support
