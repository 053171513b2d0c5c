#pragma once

// What a store or service has to tell the user when an operation fails. Stores and
// services never show it: they hand it back (in a Result) to the screen that asked,
// which shows it (StoreAlerts) at the moment the operation returns.
//
// One failure is one or more messages, shown in order as alerts with one "OK"
// button each; a failure caused by another (the playlist folder that cannot be
// made, then "The operation was not successful") tells the cause first. An empty
// title means an alert without one. A value type; any thread.

#include <QList>
#include <QString>
#include <QStringList>

class Failure {
public:
    struct Message {
        QString title;
        QString text;
        bool operator==(const Message&) const = default;
    };

    explicit Failure(QString text, QString title = {})
        : m_messages{Message{std::move(title), std::move(text)}}
    {}

    // This failure's messages followed by next's: next is the failure this one caused.
    Failure then(const Failure& next) const
    {
        Failure joined = *this;
        joined.m_messages += next.m_messages;
        return joined;
    }

    const QList<Message>& messages() const { return m_messages; }
    // The texts of messages(), in order.
    QStringList texts() const
    {
        QStringList texts;
        for (const Message& message : m_messages)
            texts.append(message.text);
        return texts;
    }

    bool operator==(const Failure&) const = default;

private:
    QList<Message> m_messages; // never empty
};
