#pragma once

// One HTTP request in flight, answered through two callbacks. Exactly one of them
// runs, once, on the main thread:
//  - completeBlock with the bytes of the last response, whenever a response was
//    received completely, whatever its HTTP status (redirects are followed unless
//    they lead from https to http; only the last response's body is delivered);
//  - errorBlock with the reason, when no complete response arrived within the
//    time-out (connection refused, name not found, no answer, ...).
// The instance owns itself and is deleted after its callback has run; the caller
// need not keep it. It is a child of the manager that sends it: destroying the
// manager cancels it without a callback. Main thread only.

#include <QByteArray>
#include <QNetworkRequest>
#include <QObject>
#include <chrono>
#include <functional>

class QNetworkAccessManager;
class QNetworkReply;
class QTimer;

class AsyncURLConnection : public QObject {
    Q_OBJECT
public:
    using CompleteBlock = std::function<void(const QByteArray& data)>;
    using ErrorBlock = std::function<void(const QString& error)>;

    // How long a request may take as a whole, from start to the last byte.
    static constexpr std::chrono::milliseconds kTimeout{30'000};

    // Starts the request at once through manager. method is "GET" or "POST"; body is
    // sent with POST.
    static AsyncURLConnection *request(QNetworkAccessManager& manager,
                                       const QNetworkRequest& request, const QByteArray& method,
                                       const QByteArray& body, CompleteBlock completeBlock,
                                       ErrorBlock errorBlock,
                                       std::chrono::milliseconds timeout = kTimeout);

private:
    AsyncURLConnection(QNetworkAccessManager& manager, CompleteBlock completeBlock,
                       ErrorBlock errorBlock);
    void start(const QNetworkRequest& request, const QByteArray& method, const QByteArray& body,
               std::chrono::milliseconds timeout);
    void didReceiveData();
    void didFinish();

    QByteArray _data;
    CompleteBlock _completeBlock;
    ErrorBlock _errorBlock;
    QNetworkReply *m_reply = nullptr; // owned; deleted with this object
    QTimer *m_deadline = nullptr;     // owned (child)
};
