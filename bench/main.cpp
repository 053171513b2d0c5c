// quaver-bench SUBCOMMAND [ARGS...]: measurements run by hand, never by CI.
#include "BenchRegistry.h"

#include <QApplication>
#include <QTemporaryDir>
#include <cstdio>
#include <map>
#include <string>

namespace {

struct Entry {
    std::string usage;
    BenchFunction function;
};

std::map<std::string, Entry>& registry()
{
    static std::map<std::string, Entry> entries;
    return entries;
}

} // namespace

BenchRegistration::BenchRegistration(const char *name, const char *usage, BenchFunction function)
{
    registry()[name] = Entry{usage, std::move(function)};
}

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("quaver-bench"));
    QStringList args = QApplication::arguments().mid(1);
    if (args.isEmpty() || !registry().count(args.first().toStdString())) {
        std::fprintf(stderr, "usage: quaver-bench SUBCOMMAND [ARGS...]\n");
        for (const auto& [name, entry] : registry())
            std::fprintf(stderr, "  %s %s\n", name.c_str(), entry.usage.c_str());
        return 2;
    }
    // Benchmarks must not touch the user's own settings or playlists.
    QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/config")).toLocal8Bit());
    const Entry& entry = registry()[args.takeFirst().toStdString()];
    return entry.function(args);
}
