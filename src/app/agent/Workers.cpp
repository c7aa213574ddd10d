#include "app/agent/Workers.h"

#include <QThreadPool>

namespace Workers {

QThreadPool* reading() {
    static QThreadPool* pool = [] {
        auto* p = new QThreadPool;
        p->setMaxThreadCount(2);
        p->setExpiryTimeout(-1);
        return p;
    }();
    return pool;
}

QThreadPool* loading() {
    static QThreadPool* pool = [] {
        auto* p = new QThreadPool;
        // Two decodes at once at most: a huge image then never starves the next.
        p->setMaxThreadCount(2);
        return p;
    }();
    return pool;
}

} // namespace Workers
