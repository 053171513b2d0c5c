#include "app/AsyncURLConnection.h"
#include "app/AppDelegate.h"
#include "platform/AppNotifier.h"
#include "platform/SystemInfo.h"
#include "platform/UserDefaults.h"
#include "support/TestEnvironment.h"

#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QPointer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QWidget>
#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

// A tiny HTTP/1.1 server on 127.0.0.1 that answers each request with the next of
// its responses (a status and a body) and records what it was sent. Without
// responses it accepts and never answers.
class TestHttpServer : public QObject {
public:
    explicit TestHttpServer(QList<std::pair<int, QByteArray>> responses = {})
        : m_responses(std::move(responses))
    {
        m_server.listen(QHostAddress::LocalHost);
        QObject::connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                sockets.append(socket);
                QObject::connect(socket, &QTcpSocket::readyRead, this,
                                 [this, socket] { serve(socket); });
            }
        });
    }

    QUrl base() const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort()));
    }

    QList<QByteArray> requests; // whole request texts, in arrival order
    QList<QPointer<QTcpSocket>> sockets;

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
        if (m_responses.isEmpty())
            return;
        const auto [status, body] = m_responses.value(requests.size() - 1, m_responses.last());
        socket->write("HTTP/1.1 " + QByteArray::number(status) + " X\r\nContent-Length: " +
                      QByteArray::number(body.size()) + "\r\n\r\n" + body);
    }

    QTcpServer m_server;
    QList<std::pair<int, QByteArray>> m_responses;
    QHash<QTcpSocket *, QByteArray> m_buffers;
};

struct Outcome {
    bool completed = false;
    bool failed = false;
    QByteArray data;
};

Outcome runRequest(const QUrl& url, std::chrono::milliseconds timeout = 30s)
{
    QNetworkAccessManager manager;
    Outcome outcome;
    AsyncURLConnection::request(
        manager, QNetworkRequest(url), "POST", "x=1",
        [&](const QByteArray& data) {
            outcome.completed = true;
            outcome.data = data;
        },
        [&](const QString&) { outcome.failed = true; }, timeout);
    TestEnvironment::waitUntil([&] { return outcome.completed || outcome.failed; });
    return outcome;
}

QUrl refusingUrl()
{
    QTcpServer closed;
    closed.listen(QHostAddress::LocalHost);
    return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(closed.serverPort()));
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

TEST(AsyncURLConnection, AnyHttpStatusCompletesWithTheBody)
{
    TestHttpServer server({{500, "server says no"}});
    const Outcome error = runRequest(server.base());
    EXPECT_TRUE(error.completed);
    EXPECT_EQ(error.data, QByteArray("server says no"));
}

TEST(AsyncURLConnection, NoCompleteAnswerRunsTheErrorBlock)
{
    const Outcome refused = runRequest(refusingUrl());
    EXPECT_TRUE(refused.failed);
    EXPECT_FALSE(refused.completed);

    TestHttpServer silent;
    QElapsedTimer clock;
    clock.start();
    const Outcome timedOut = runRequest(silent.base(), 200ms);
    EXPECT_TRUE(timedOut.failed) << "gives up at the deadline";
    EXPECT_GE(clock.elapsed(), 200);
    EXPECT_EQ(silent.requests.size(), 1);
}

TEST(InstallPing, SentOnReturnToForegroundUntilAnAnswerArrives)
{
    AppDelegate delegate;
    auto *network = delegate.findChild<QNetworkAccessManager *>();
    ASSERT_NE(network, nullptr);
    QSignalSpy finished(network, &QNetworkAccessManager::finished);
    QSignalSpy background(&AppNotifier::instance(), &AppNotifier::background);
    // Whether a return to the foreground starts a request (made at once, if at all).
    const auto sendsOnReturn = [&] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        delegate.applicationDidEnterBackground();
        delegate.applicationWillEnterForeground();
        return !delegate.findChildren<AsyncURLConnection *>().isEmpty();
    };
    delegate.setStatsEndpoint(refusingUrl());
    delegate.didFinishLaunching({});
    EXPECT_TRUE(delegate.findChildren<AsyncURLConnection *>().isEmpty()) << "not at launch";
    backgroundAndBack(delegate);
    EXPECT_EQ(background.count(), 2);
    EXPECT_EQ(background.at(0).at(0).toBool(), true);
    EXPECT_EQ(background.at(1).at(0).toBool(), false);
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return finished.count() == 1; }));
    EXPECT_FALSE(pingDone()) << "a failure leaves it due";

    delegate.setStatsEndpoint(QUrl());
    EXPECT_FALSE(sendsOnReturn()) << "no endpoint, no request";

    TestHttpServer server({{404, "nope"}});
    delegate.setStatsEndpoint(server.base());
    backgroundAndBack(delegate);
    ASSERT_TRUE(TestEnvironment::waitUntil(pingDone)) << "an error status counts as done";
    ASSERT_EQ(server.requests.size(), 1);
    const QByteArray request = server.requests.first();
    EXPECT_TRUE(request.startsWith("POST /info.php HTTP/1.1\r\n"));
    const QByteArray expectedBody =
        "info=" + SystemInfo::systemName().toUtf8() + "-" + SystemInfo::systemVersion().toUtf8();
    EXPECT_TRUE(request.endsWith("\r\n\r\n" + expectedBody)) << request.constData();

    EXPECT_FALSE(sendsOnReturn()) << "nothing is sent once \"info\" exists";
}

TEST(InstallPing, ARequestInFlightEndsWithTheDelegate)
{
    TestHttpServer silent;
    auto delegate = std::make_unique<AppDelegate>();
    delegate->setStatsEndpoint(silent.base());
    delegate->didFinishLaunching({});
    backgroundAndBack(*delegate);
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return silent.requests.size() == 1; }));

    delegate.reset();
    EXPECT_TRUE(TestEnvironment::waitUntil([&] {
        return silent.sockets.value(0).isNull() ||
               silent.sockets[0]->state() == QAbstractSocket::UnconnectedState;
    })) << "the connection is closed before the application object goes";
}
