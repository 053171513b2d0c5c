#pragma once

// One HTTP request in flight, answered through two callbacks. Exactly one of them
// runs, once, on the main thread:
//  - completeBlock with the bytes of the last response, whenever a response was
//    received completely, whatever its HTTP status (a redirect's earlier bodies are
//    discarded);
//  - errorBlock with the reason, when no complete response arrived (connection
//    refused, name not found, time-out, ...).
// The instance owns itself and is deleted after its callback has run; the caller
// need not keep it. Main thread only.

#include <QByteArray>
#include <QNetworkRequest>
#include <QObject>
#include <functional>

class QNetworkAccessManager;
class QNetworkReply;

class AsyncURLConnection : public QObject {
    Q_OBJECT
public:
    using CompleteBlock = std::function<void(const QByteArray& data)>;
    using ErrorBlock = std::function<void(const QString& error)>;

    // Starts the request at once. method is "GET" or "POST"; body is sent with POST.
    static AsyncURLConnection *request(const QNetworkRequest& request, const QByteArray& method,
                                       const QByteArray& body, CompleteBlock completeBlock,
                                       ErrorBlock errorBlock);

private:
    AsyncURLConnection(CompleteBlock completeBlock, ErrorBlock errorBlock);
    void start(const QNetworkRequest& request, const QByteArray& method, const QByteArray& body);
    void didReceiveResponse();
    void didReceiveData();
    void didFinish();

    static QNetworkAccessManager& manager();

    QByteArray _data;
    CompleteBlock _completeBlock;
    ErrorBlock _errorBlock;
    QNetworkReply *m_reply = nullptr; // owned; deleted with this object
};
