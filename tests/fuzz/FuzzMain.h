#pragma once

// Process-wide setup of a fuzz target, made once in LLVMFuzzerInitialize: Qt's
// application object (never one per input), Qt messages silenced (a reader's
// warning per input would drown libFuzzer's output and slow it), and a private
// folder for the files a feed writes.

#include <QCoreApplication>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>

namespace FuzzMain {

inline QString& workDir()
{
    static QString dir;
    return dir;
}

inline void initialize(int *argc, char ***argv)
{
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    static QCoreApplication app(*argc, *argv);
    static QTemporaryDir dir;
    workDir() = dir.path();
}

} // namespace FuzzMain

#define QUAVER_FUZZ_TARGET(feedCall)                                                               \
    extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)                                   \
    {                                                                                              \
        FuzzMain::initialize(argc, argv);                                                          \
        return 0;                                                                                  \
    }                                                                                              \
    extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)                        \
    {                                                                                              \
        const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));             \
        const QString& dir = FuzzMain::workDir();                                                  \
        (void)dir;                                                                                 \
        (void)(feedCall);                                                                          \
        return 0;                                                                                  \
    }
