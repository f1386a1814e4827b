// The one background worker of the main window: runs an archive open on its own thread and
// reports progress and completion to the UI thread as queued signals.
#pragma once

#include <QObject>
#include <QThread>
#include <atomic>
#include <functional>

namespace kestrel {

class CFileOpenWorker : public QObject {
    Q_OBJECT
public:
    // The work gets a function to report progress with; it returns false when it failed.
    using ReportProgress = std::function<void(int32_t)>;
    using Work = std::function<bool(const ReportProgress&)>;

    explicit CFileOpenWorker(QObject* pParent = nullptr);
    // Waits for a running work to end.
    ~CFileOpenWorker() override;

    bool IsBusy() const { return m_bBusy; }
    // Starts fnWork on the worker thread; false (and nothing started) while one is running.
    bool RunWorkerAsync(Work fnWork);
    // Blocks until the running work (if any) has ended and its completion has been delivered.
    void Wait();

signals:
    // Only changes of the value are reported.
    void ProgressChanged(int nValue);
    // bCancelled: the work returned false or failed by an exception (bException).
    void RunWorkerCompleted(bool bCancelled, bool bException);

private:
    void Completed(bool bCancelled, bool bException);

    QThread m_thread;
    QObject* m_pContext;  // lives on m_thread
    bool m_bBusy = false;
    std::atomic<int> m_nLastProgress{-1};
};

}  // namespace kestrel
