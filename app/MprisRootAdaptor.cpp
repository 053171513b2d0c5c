#include "app/MprisRootAdaptor.h"

#include "app/MprisService.h"

#include <QGuiApplication>

MprisRootAdaptor::MprisRootAdaptor(MprisService *service)
    : QDBusAbstractAdaptor(service), m_service(service)
{}

QString MprisRootAdaptor::identity() const
{
    return QStringLiteral("Quaver Pro");
}

QString MprisRootAdaptor::desktopEntry() const
{
    // The installed entry's name, so that the desktop shows our name and icon.
    return QGuiApplication::desktopFileName();
}

QStringList MprisRootAdaptor::supportedUriSchemes() const
{
    return {QStringLiteral("file")};
}

QStringList MprisRootAdaptor::supportedMimeTypes() const
{
    // The kinds FileManager::supportedExtensions accepts, as desktops name them.
    return {
        QStringLiteral("audio/mpeg"),         QStringLiteral("audio/mp4"),
        QStringLiteral("audio/x-m4a"),        QStringLiteral("audio/aac"),
        QStringLiteral("audio/wav"),          QStringLiteral("audio/x-wav"),
        QStringLiteral("audio/aiff"),         QStringLiteral("audio/x-aiff"),
        QStringLiteral("audio/amr"),          QStringLiteral("audio/3gpp"),
        QStringLiteral("audio/flac"),         QStringLiteral("audio/ogg"),
        QStringLiteral("audio/x-vorbis+ogg"), QStringLiteral("audio/x-opus+ogg"),
        QStringLiteral("audio/x-wavpack"),    QStringLiteral("audio/x-ape"),
        QStringLiteral("audio/x-matroska"),   QStringLiteral("audio/x-ms-wma"),
        QStringLiteral("audio/x-dsf"),        QStringLiteral("video/mp4"),
        QStringLiteral("video/3gpp"),         QStringLiteral("video/quicktime"),
        QStringLiteral("video/x-m4v"),        QStringLiteral("video/x-matroska"),
        QStringLiteral("video/webm"),         QStringLiteral("video/x-msvideo"),
    };
}

void MprisRootAdaptor::Raise()
{
    m_service->raise();
}

void MprisRootAdaptor::Quit()
{
    m_service->quit();
}
