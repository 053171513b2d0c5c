#pragma once

// Subcommands of quaver-bench. Each prints one "name: value unit" line per result
// and returns a process status. Register with a static BenchRegistration in the
// subcommand's own file.

#include <QStringList>
#include <functional>

using BenchFunction = std::function<int(const QStringList& args)>;

struct BenchRegistration {
    BenchRegistration(const char *name, const char *usage, BenchFunction function);
};
