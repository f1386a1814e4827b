// One extraction or test of the open archive, run as a job: the work runs on a thread of its
// own while the UI thread goes on handling events, so the window repaints; the window's input is
// held back meanwhile (Esc cancels). After about half a second a modal dialog shows how far the
// work is and cancels it (キャンセル, Esc, closing it). Passwords are asked on the UI thread
// while the work waits. What was not extracted, and why, is kept for the end.
//
// The caller must keep everything else off the archive driver while Run runs (the open worker's
// rule); Run returns only once the work has ended.
#pragma once

#include <QElapsedTimer>
#include <QEventLoop>
#include <QObject>
#include <QPointer>
#include <QString>
#include <atomic>
#include <functional>
#include <mutex>
#include <vector>

#include "ExtractObserver.h"

class QWidget;

namespace kestrel {

class CPasswordDialog;
class CProgressDialog;

class CExtractJob : public QObject, private shelf::IExtractObserver {
    Q_OBJECT
public:
    // The work: an extraction or a test told to report to the observer; its result is Run's.
    using Work = std::function<int32_t(shelf::IExtractObserver*)>;
    // Tests: called on the working thread at every report, before the user's cancel is seen.
    using ProgressHook = std::function<void(const shelf::EXTRACT_PROGRESS&)>;
    static void SetProgressHook(ProgressHook hook);
    // Tests: how long the dialog waits before it shows (default 500 ms).
    static void SetShowDelay(int nMilliseconds);

    // c_strArchiveName goes into the password question; c_strVerb names the work ("解凍").
    CExtractJob(QWidget* pWindow, const QString& c_strArchiveName, const QString& c_strVerb);
    ~CExtractJob() override;
    CExtractJob(const CExtractJob&) = delete;
    CExtractJob& operator=(const CExtractJob&) = delete;

    int32_t Run(const Work& fnWork);
    // Asks the work to stop, as the dialog's キャンセル does; a password question is closed.
    void Cancel();
    bool bRunning() const { return m_bRunning; }
    bool bCancelled() const { return m_bCancel; }
    // The work has returned: the archive driver is free again (Run may still be unwinding).
    bool bEnded() const { return m_bDone; }
    // The program was asked to quit while the job ran (and the job was cancelled for it).
    bool bQuitRequested() const { return m_bQuitRequested; }

    // After Run: what was not extracted (or not sound), in the order told.
    const std::vector<shelf::EXTRACT_PROBLEM>& Problems() const { return m_vstProblems; }
    // After Run: entries finished without a problem.
    uint64_t nFinished() const;
    uint64_t nEntriesTotal() const { return m_stLast.nEntriesTotal; }
    // After Run: the user declined the password question.
    bool bPasswordDeclined() const { return m_bPasswordDeclined; }

private:
    bool Progress(const shelf::EXTRACT_PROGRESS& c_st) override;
    void Problem(const shelf::EXTRACT_PROBLEM& c_st) override;
    bool Password(bool bWrongBefore, kestrel::Secret* pPassword) override;

    bool AskPassword(bool bWrongBefore, kestrel::Secret* pPassword);
    void Tick();

    QWidget* m_pWindow;
    QString m_strArchiveName;
    QString m_strVerb;
    std::atomic<bool> m_bCancel{false};
    std::atomic<bool> m_bDone{false};
    bool m_bRunning = false;
    bool m_bQuitRequested = false;
    QEventLoop m_loop;
    bool m_bAsking = false;
    bool m_bPasswordDeclined = false;
    QElapsedTimer m_timer;
    CProgressDialog* m_pDialog = nullptr;
    QPointer<CPasswordDialog> m_pPasswordDialog;

    std::mutex m_mutex;  // the two below, written by the working thread
    shelf::EXTRACT_PROGRESS m_stLast;
    std::vector<shelf::EXTRACT_PROBLEM> m_vstProblems;
};

}  // namespace kestrel
