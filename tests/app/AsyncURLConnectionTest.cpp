#include "app/AsyncURLConnection.h"
#include "app/AppDelegate.h"
#include "platform/AppNotifier.h"
#include "platform/SystemInfo.h"
#include "platform/UserDefaults.h"
#include "support/TestEnvironment.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QWidget>
#include <gtest/gtest.h>

namespace {

// A tiny HTTP/1.1 server on 127.0.0.1 that answers each request from a script and
// records what it was sent.
class TestHttpServer : public QObject {
public:
    struct Response {
        int status = 200;
        QByteArray body;
        QByteArray location; // set for a redirect
    };

    explicit TestHttpServer(QList<Response> responses) : m_responses(std::move(responses))
    {
        m_server.listen(QHostAddress::LocalHost);
        QObject::connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection())
                QObject::connect(socket, &QTcpSocket::readyRead, this,
                                 [this, socket] { serve(socket); });
        });
    }

    QUrl base() const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort()));
    }

    QList<QByteArray> requests; // whole request texts, in arrival order

private:
    void serve(QTcpSocket *socket)
    {
        QByteArray& buffer = m_buffers[socket];
        buffer += socket->readAll();
        const qsizetype headerEnd = buffer.indexOf("\r\n\r\n");
        if (headerEnd < 0)
            return;
        qsizetype length = 0;
        for (const QByteArray& line : buffer.left(headerEnd).split('\n'))
            if (line.toLower().startsWith("content-length:"))
                length = line.mid(15).trimmed().toLongLong();
        if (buffer.size() < headerEnd + 4 + length)
            return;
        requests.append(buffer.left(headerEnd + 4 + length));
        buffer.remove(0, headerEnd + 4 + length);
        const Response r = m_responses.value(requests.size() - 1, Response{});
        QByteArray reply = "HTTP/1.1 " + QByteArray::number(r.status) + " X\r\n";
        if (!r.location.isEmpty())
            reply += "Location: " + r.location + "\r\n";
        reply += "Content-Length: " + QByteArray::number(r.body.size()) + "\r\n\r\n" + r.body;
        socket->write(reply);
    }

    QTcpServer m_server;
    QList<Response> m_responses;
    QHash<QTcpSocket *, QByteArray> m_buffers;
};

struct Outcome {
    bool completed = false;
    bool failed = false;
    QByteArray data;
};

Outcome runRequest(const QUrl& url)
{
    Outcome outcome;
    AsyncURLConnection::request(
        QNetworkRequest(url), "POST", "x=1",
        [&](const QByteArray& data) {
            outcome.completed = true;
            outcome.data = data;
        },
        [&](const QString&) { outcome.failed = true; });
    TestEnvironment::waitUntil([&] { return outcome.completed || outcome.failed; });
    return outcome;
}

bool pingDone()
{
    return UserDefaults::standard().contains(QStringLiteral("info"));
}

void backgroundAndBack(AppDelegate& delegate)
{
    delegate.window()->showMinimized();
    QCoreApplication::processEvents();
    delegate.window()->showNormal();
    QCoreApplication::processEvents();
}

} // namespace

TEST(AsyncURLConnection, AnyHttpStatusCompletesAndOnlyTheLastResponseIsDelivered)
{
    TestHttpServer server(
        {{500, "server says no", {}}, {302, "redirect body", "/final"}, {200, "final body", {}}});
    const Outcome error = runRequest(server.base().resolved(QUrl(QStringLiteral("/a"))));
    EXPECT_TRUE(error.completed);
    EXPECT_EQ(error.data, QByteArray("server says no"));

    const Outcome redirected = runRequest(server.base().resolved(QUrl(QStringLiteral("/b"))));
    EXPECT_TRUE(redirected.completed);
    EXPECT_EQ(redirected.data, QByteArray("final body"));
}

TEST(AsyncURLConnection, RefusedConnectionRunsTheErrorBlock)
{
    QTcpServer closed;
    closed.listen(QHostAddress::LocalHost);
    const quint16 port = closed.serverPort();
    closed.close();
    const Outcome o = runRequest(QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(port)));
    EXPECT_TRUE(o.failed);
    EXPECT_FALSE(o.completed);
}

TEST(InstallPing, SentOnReturnToForegroundUntilOneCompletes)
{
    TestHttpServer server({{404, "nope", {}}});
    AppDelegate delegate;
    delegate.setStatsEndpoint(server.base());
    QSignalSpy background(&AppNotifier::instance(), &AppNotifier::background);
    delegate.didFinishLaunching({});
    QCoreApplication::processEvents();
    EXPECT_TRUE(server.requests.isEmpty()) << "nothing is sent at launch";
    EXPECT_EQ(background.count(), 0);

    backgroundAndBack(delegate);
    ASSERT_EQ(background.count(), 2);
    EXPECT_EQ(background.at(0).at(0).toBool(), true);
    EXPECT_EQ(background.at(1).at(0).toBool(), false);
    EXPECT_FALSE(pingDone()) << "\"info\" is set only on completion";

    ASSERT_TRUE(TestEnvironment::waitUntil(pingDone)) << "an error status counts as done";
    ASSERT_EQ(server.requests.size(), 1);
    const QByteArray request = server.requests.first();
    EXPECT_TRUE(request.startsWith("POST /info.php HTTP/1.1\r\n"));
    const QByteArray expectedBody =
        "info=" + SystemInfo::systemName().toUtf8() + "-" + SystemInfo::systemVersion().toUtf8();
    EXPECT_TRUE(request.endsWith("\r\n\r\n" + expectedBody)) << request.constData();

    backgroundAndBack(delegate);
    QCoreApplication::processEvents();
    EXPECT_EQ(server.requests.size(), 1) << "nothing is sent once \"info\" exists";
    EXPECT_EQ(background.count(), 4);
}

TEST(InstallPing, RefusedConnectionLeavesThePingDue)
{
    QTcpServer closed;
    closed.listen(QHostAddress::LocalHost);
    const QUrl base(QStringLiteral("http://127.0.0.1:%1").arg(closed.serverPort()));
    closed.close();
    AppDelegate delegate;
    delegate.setStatsEndpoint(base);
    delegate.didFinishLaunching({});
    backgroundAndBack(delegate);
    TestEnvironment::waitUntil([] { return false; }, 300);
    EXPECT_FALSE(pingDone());

    // The next return tries again, and succeeds once a server answers.
    TestHttpServer server({{200, "ok", {}}});
    delegate.setStatsEndpoint(server.base());
    backgroundAndBack(delegate);
    EXPECT_TRUE(TestEnvironment::waitUntil(pingDone));
}

TEST(InstallPing, EmptyEndpointSendsNothing)
{
    AppDelegate delegate;
    delegate.setStatsEndpoint(QUrl());
    delegate.didFinishLaunching({});
    backgroundAndBack(delegate);
    TestEnvironment::waitUntil([] { return false; }, 200);
    EXPECT_FALSE(pingDone());
}
