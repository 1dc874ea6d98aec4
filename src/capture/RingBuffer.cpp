#include "capture/RingBuffer.h"

#include <QCoreApplication>
#include <QThread>

namespace backreel {

void destroyOnMainThread(std::function<void()> destroy) {
    QCoreApplication* application = QCoreApplication::instance();
    if (application == nullptr || QThread::currentThread() == application->thread()) {
        destroy();
        return;
    }
    QMetaObject::invokeMethod(application, std::move(destroy), Qt::QueuedConnection);
}

} // namespace backreel
