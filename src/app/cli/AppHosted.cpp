#include "app/cli/AppHosted.h"

#include <QCoreApplication>
#include <QTimer>

namespace AppHosted {

int run(QCoreApplication& app, std::function<int()> body) {
    QTimer::singleShot(0, &app, [body = std::move(body)] { QCoreApplication::exit(body()); });
    return app.exec();
}

} // namespace AppHosted
