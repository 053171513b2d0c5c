#include "app/AsyncURLConnection.h"
#include "app/AppDelegate.h"
#include "platform/SystemInfo.h"
#include "platform/UserDefaults.h"
#include "support/TestEnvironment.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QTcpServer>
#include <QTcpSocket>
#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

// An HTTP server on 127.0.0.1 that records what each connection sends and answers
// the first request on it with one status and body; with status 0 it never answers.
class TestHttpServer : public QTcpServer {
public:
    explicit TestHttpServer(int status = 0, QByteArray body = {})
    {
        listen(QHostAddress::LocalHost);
        connect(this, &QTcpServer::newConnection, this, [this, status, body] {
            QTcpSocket *socket = nextPendingConnection();
            const qsizetype i = requests.size();
            requests.append(QByteArray());
            connect(socket, &QTcpSocket::readyRead, this, [=, this] {
                const bool answered = requests[i].contains("\r\n\r\n");
                requests[i] += socket->readAll();
                if (status != 0 && !answered && requests[i].contains("\r\n\r\n"))
                    socket->write("HTTP/1.1 " + QByteArray::number(status) +
                                  " X\r\nContent-Length: " + QByteArray::number(body.size()) +
                                  "\r\n\r\n" + body);
            });
        });
    }

    QUrl base() const { return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(serverPort())); }

    QList<QByteArray> requests; // what each connection sent, in arrival order
};

QUrl refusingUrl()
{
    QTcpServer closed;
    closed.listen(QHostAddress::LocalHost);
    return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(closed.serverPort()));
}

// Whether a return to the foreground starts a request (made at once, if at all).
bool sendsOnReturn(AppDelegate& delegate)
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    delegate.applicationDidEnterBackground();
    delegate.applicationWillEnterForeground();
    return !delegate.findChildren<AsyncURLConnection *>().isEmpty();
}

} // namespace

// Any HTTP status completes with the body, once; no complete answer (refused, or
// none by the deadline) runs the error block, at the deadline and not before it.
TEST(AsyncURLConnection, AnyStatusCompletesOnceWithTheBodyAndNoAnswerIsAnError)
{
    TestHttpServer answering(500, "server says no"), silent;
    const struct {
        QUrl url;
        const char *outcome;
    } rows[] = {
        {answering.base(), "server says no"}, {refusingUrl(), "error"}, {silent.base(), "error"}};
    for (const auto& row : rows) {
        QNetworkAccessManager manager;
        QStringList outcomes;
        QElapsedTimer clock;
        clock.start();
        AsyncURLConnection::request(
            manager, QNetworkRequest(row.url), "POST", "x=1",
            [&](const QByteArray& body) { outcomes.append(QString::fromUtf8(body)); },
            [&](const QString&) { outcomes.append(QStringLiteral("error")); }, 200ms);
        // Once the connection has deleted itself, no other callback can follow.
        ASSERT_TRUE(TestEnvironment::waitUntil([&] {
            return !outcomes.isEmpty() && manager.findChildren<AsyncURLConnection *>().isEmpty();
        }));
        EXPECT_EQ(outcomes, QStringList{QLatin1String(row.outcome)})
            << row.url.toString().toStdString();
        if (row.url == silent.base()) {
            EXPECT_GE(clock.elapsed(), 150) << "a coarse timer may be 5 % early";
        }
    }
    EXPECT_EQ(silent.requests.size(), 1);
}

TEST(InstallPing, SentOnReturnToForegroundUntilAnAnswerArrivesThenNeverAgain)
{
    const auto pingDone = [] { return UserDefaults::standard().contains(QStringLiteral("info")); };
    AppDelegate delegate;
    delegate.setStatsEndpoint(refusingUrl());
    delegate.didFinishLaunching({});
    EXPECT_TRUE(delegate.findChildren<AsyncURLConnection *>().isEmpty()) << "not at launch";
    ASSERT_TRUE(sendsOnReturn(delegate));
    ASSERT_TRUE(TestEnvironment::waitUntil(
        [&] { return delegate.findChildren<AsyncURLConnection *>().isEmpty(); }));
    EXPECT_FALSE(pingDone()) << "a failure leaves it due";

    TestHttpServer server(404, "nope");
    delegate.setStatsEndpoint(server.base());
    ASSERT_TRUE(sendsOnReturn(delegate));
    ASSERT_TRUE(TestEnvironment::waitUntil(pingDone)) << "an error status counts as done";
    const QByteArray body =
        "info=" + SystemInfo::systemName().toUtf8() + "-" + SystemInfo::systemVersion().toUtf8();
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return server.requests[0].endsWith(body); }))
        << server.requests[0].constData();
    EXPECT_FALSE(sendsOnReturn(delegate)) << "nothing is sent once \"info\" exists";
}
