#include "app/AsyncURLConnection.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTimer>

AsyncURLConnection *AsyncURLConnection::request(QNetworkAccessManager& manager,
                                                const QNetworkRequest& request,
                                                const QByteArray& method, const QByteArray& body,
                                                CompleteBlock completeBlock, ErrorBlock errorBlock,
                                                std::chrono::milliseconds timeout)
{
    auto *connection =
        new AsyncURLConnection(manager, std::move(completeBlock), std::move(errorBlock));
    connection->start(request, method, body, timeout);
    return connection;
}

AsyncURLConnection::AsyncURLConnection(QNetworkAccessManager& manager, CompleteBlock completeBlock,
                                       ErrorBlock errorBlock)
    : QObject(&manager), _completeBlock(std::move(completeBlock)),
      _errorBlock(std::move(errorBlock))
{}

void AsyncURLConnection::start(const QNetworkRequest& request, const QByteArray& method,
                               const QByteArray& body, std::chrono::milliseconds timeout)
{
    QNetworkRequest req(request);
    req.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                     QNetworkRequest::NoLessSafeRedirectPolicy);
    if (method == "POST" && !req.header(QNetworkRequest::ContentTypeHeader).isValid())
        req.setHeader(QNetworkRequest::ContentTypeHeader,
                      QByteArrayLiteral("application/x-www-form-urlencoded"));
    m_reply = static_cast<QNetworkAccessManager *>(parent())->sendCustomRequest(req, method, body);
    m_reply->setParent(this);
    connect(m_reply, &QNetworkReply::readyRead, this, &AsyncURLConnection::didReceiveData);
    connect(m_reply, &QNetworkReply::finished, this, &AsyncURLConnection::didFinish);

    // A whole-request deadline: Qt's transfer time-out restarts with every byte, so a
    // server that trickles would hold the request open for ever.
    m_deadline = new QTimer(this);
    m_deadline->setSingleShot(true);
    connect(m_deadline, &QTimer::timeout, m_reply, &QNetworkReply::abort);
    m_deadline->start(timeout);
}

void AsyncURLConnection::didReceiveData()
{
    _data.append(m_reply->readAll());
}

void AsyncURLConnection::didFinish()
{
    m_deadline->stop();
    if (m_reply->isOpen()) // closed by an abort at the deadline
        _data.append(m_reply->readAll());
    // A response that arrived whole is completion, whatever its HTTP status; Qt
    // reports error statuses as errors from 201 up. Errors below that are transport
    // failures (refused, reset mid-body, aborted at the deadline, ...).
    const QNetworkReply::NetworkError error = m_reply->error();
    const bool gotResponse =
        m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid() &&
        (error == QNetworkReply::NoError || error >= QNetworkReply::ContentAccessDenied);
    if (gotResponse) {
        if (_completeBlock)
            _completeBlock(_data);
    } else if (_errorBlock) {
        _errorBlock(error == QNetworkReply::OperationCanceledError
                        ? QStringLiteral("No complete answer within %1 s")
                              .arg(m_deadline->interval() / 1000.0)
                        : m_reply->errorString());
    }
    deleteLater();
}
