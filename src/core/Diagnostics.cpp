#include "core/Diagnostics.h"

#include <cstdio>
#include <mutex>

namespace {

// Set once at start-up and read-only afterwards.
struct Arguments {
    std::once_flag once;
    QStringList values;
    bool verbose = false;
};

Arguments& recorded() {
    static Arguments instance;
    return instance;
}

} // namespace

namespace Diagnostics {

void setArguments(const QStringList& arguments) {
    Arguments& a = recorded();
    std::call_once(a.once, [&] {
        a.values = arguments;
        a.verbose = arguments.contains(QStringLiteral("--debug"));
    });
}

QStringList arguments() {
    Arguments& a = recorded();
    std::call_once(a.once, [] {}); // arguments were never recorded: freeze them empty
    return a.values;
}

bool verbose() {
    Arguments& a = recorded();
    std::call_once(a.once, [] {});
    return a.verbose;
}

void write(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
    std::fflush(stdout);
}

void print(const QString& line) { write(line + QLatin1Char('\n')); }

} // namespace Diagnostics
