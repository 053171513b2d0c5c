#include "app/AsyncURLConnection.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>

QNetworkAccessManager& AsyncURLConnection::manager()
{
    static QNetworkAccessManager manager;
    return manager;
}

AsyncURLConnection *AsyncURLConnection::request(const QNetworkRequest& request,
                                                const QByteArray& method, const QByteArray& body,
                                                CompleteBlock completeBlock, ErrorBlock errorBlock)
{
    auto *connection = new AsyncURLConnection(std::move(completeBlock), std::move(errorBlock));
    connection->start(request, method, body);
    return connection;
}

AsyncURLConnection::AsyncURLConnection(CompleteBlock completeBlock, ErrorBlock errorBlock)
    : _completeBlock(std::move(completeBlock)), _errorBlock(std::move(errorBlock))
{}

void AsyncURLConnection::start(const QNetworkRequest& request, const QByteArray& method,
                               const QByteArray& body)
{
    QNetworkRequest req(request);
    req.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                     QNetworkRequest::NoLessSafeRedirectPolicy);
    if (method == "POST" && !req.header(QNetworkRequest::ContentTypeHeader).isValid())
        req.setHeader(QNetworkRequest::ContentTypeHeader,
                      QByteArrayLiteral("application/x-www-form-urlencoded"));
    m_reply = manager().sendCustomRequest(req, method, body);
    m_reply->setParent(this);
    connect(m_reply, &QNetworkReply::metaDataChanged, this,
            &AsyncURLConnection::didReceiveResponse);
    connect(m_reply, &QNetworkReply::readyRead, this, &AsyncURLConnection::didReceiveData);
    connect(m_reply, &QNetworkReply::finished, this, &AsyncURLConnection::didFinish);
}

void AsyncURLConnection::didReceiveResponse()
{
    // A new response (after a redirect, say) replaces what an earlier one delivered.
    _data.clear();
}

void AsyncURLConnection::didReceiveData()
{
    _data.append(m_reply->readAll());
}

void AsyncURLConnection::didFinish()
{
    _data.append(m_reply->readAll());
    // A response that arrived whole is completion, whatever its HTTP status; Qt
    // reports error statuses as errors from 201 up. Errors below that are transport
    // failures (refused, reset mid-body, time-out, ...).
    const QNetworkReply::NetworkError error = m_reply->error();
    const bool gotResponse =
        m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid() &&
        (error == QNetworkReply::NoError || error >= QNetworkReply::ContentAccessDenied);
    if (gotResponse) {
        if (_completeBlock)
            _completeBlock(_data);
    } else if (_errorBlock) {
        _errorBlock(m_reply->errorString());
    }
    deleteLater();
}
