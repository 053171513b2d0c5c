#include "ui/AlertViewHelper.h"

#include "platform/Alert.h"

Alert *AlertViewHelper::alertViewWithTitle(const QString& title)
{
    // The field has its own row in the alert's layout; no blank message line is
    // needed to make room for it.
    auto *alert = new Alert(title, QString(), QStringLiteral("Cancel"), {QStringLiteral("Create")});
    alert->setTextField(QString());
    return alert;
}

Alert *AlertViewHelper::alertMessage(const QString& message)
{
    return new Alert(QString(), message, QStringLiteral("OK"));
}
