#include "app/AsyncURLConnection.h"
#include "app/AppDelegate.h"
#include "platform/AppNotifier.h"
#include "platform/SystemInfo.h"
#include "platform/UserDefaults.h"
#include "support/TestEnvironment.h"

#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QPointer>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QWidget>
#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

// An HTTP/1.1 server on 127.0.0.1 that records each request and answers it with
// one status and body; with status 0 it accepts and never answers.
class TestHttpServer : public QTcpServer {
public:
    explicit TestHttpServer(int status = 0, QByteArray body = {})
    {
        listen(QHostAddress::LocalHost);
        connect(this, &QTcpServer::newConnection, this, [this, status, body] {
            QTcpSocket *socket = nextPendingConnection();
            sockets.append(socket);
            connect(
                socket, &QTcpSocket::readyRead, this, [=, this, buffer = QByteArray()]() mutable {
                    buffer += socket->readAll();
                    const qsizetype end = buffer.indexOf("\r\n\r\n") + 4;
                    const QRegularExpression lengthField(QStringLiteral("content-length: *(\\d+)"),
                                                         QRegularExpression::CaseInsensitiveOption);
                    const auto length = lengthField.match(QString::fromLatin1(buffer.left(end)));
                    if (end < 4 || buffer.size() < end + length.captured(1).toLongLong())
                        return;
                    requests.append(buffer);
                    if (status != 0)
                        socket->write("HTTP/1.1 " + QByteArray::number(status) +
                                      " X\r\nContent-Length: " + QByteArray::number(body.size()) +
                                      "\r\n\r\n" + body);
                });
        });
    }

    QUrl base() const { return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(serverPort())); }

    QList<QByteArray> requests; // whole request texts, in arrival order
    QList<QPointer<QTcpSocket>> sockets;
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

// Any HTTP status completes with the body; no complete answer (refused, or none by
// the deadline) runs the error block, at the deadline and not before it.
TEST(AsyncURLConnection, AnyStatusCompletesWithTheBodyAndNoAnswerIsAnError)
{
    TestHttpServer server(500, "server says no");
    const Outcome error = runRequest(server.base());
    EXPECT_TRUE(error.completed);
    EXPECT_EQ(error.data, QByteArray("server says no"));

    const Outcome refused = runRequest(refusingUrl());
    EXPECT_TRUE(refused.failed);
    EXPECT_FALSE(refused.completed);

    TestHttpServer silent;
    QElapsedTimer clock;
    clock.start();
    EXPECT_TRUE(runRequest(silent.base(), 200ms).failed);
    EXPECT_GE(clock.elapsed(), 150) << "a coarse timer may be 5 % early";
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

    TestHttpServer server(404, "nope");
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
