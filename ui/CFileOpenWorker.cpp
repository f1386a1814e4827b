#include "CFileOpenWorker.h"

#include <QCoreApplication>
#include <exception>

namespace kestrel {

CFileOpenWorker::CFileOpenWorker(QObject* pParent) : QObject(pParent), m_pContext(new QObject) {
    m_thread.setObjectName(QStringLiteral("kestrel-open"));
    m_pContext->moveToThread(&m_thread);
    connect(&m_thread, &QThread::finished, m_pContext, &QObject::deleteLater);
    m_thread.start();
}

CFileOpenWorker::~CFileOpenWorker() {
    m_thread.quit();
    m_thread.wait();
}

bool CFileOpenWorker::RunWorkerAsync(Work fnWork) {
    if (m_bBusy) return false;
    m_bBusy = true;
    m_nLastProgress = -1;
    QMetaObject::invokeMethod(m_pContext, [this, fnWork = std::move(fnWork)] {
        bool bSuccess = false;
        bool bException = false;
        try {
            bSuccess = fnWork([this](int32_t nValue) {
                if (m_nLastProgress.exchange(nValue) != nValue) emit ProgressChanged(nValue);
            });
        } catch (...) {
            bException = true;
        }
        QMetaObject::invokeMethod(
            this, [this, bSuccess, bException] { Completed(!bSuccess, bException); },
            Qt::QueuedConnection);
    });
    return true;
}

void CFileOpenWorker::Completed(bool bCancelled, bool bException) {
    m_bBusy = false;
    emit RunWorkerCompleted(bCancelled, bException);
}

void CFileOpenWorker::Wait() {
    while (m_bBusy) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents |
                                        QEventLoop::WaitForMoreEvents);
    }
}

}  // namespace kestrel
