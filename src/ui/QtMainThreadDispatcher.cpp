#include "ui/QtMainThreadDispatcher.h"

#include <QCoreApplication>
#include <QThread>

namespace quorvane {

void TQtMainThreadDispatcher::Post(std::function<void()> Call) {
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(Call), Qt::QueuedConnection);
}

bool TQtMainThreadDispatcher::IsMainThread() const {
    return QThread::currentThread() == QCoreApplication::instance()->thread();
}

}  // namespace quorvane
