#include "CExtractJob.h"

#include <string.h>

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QEventLoop>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <thread>

#include "Form_FilerMain_Names.h"
#include "Platform.h"

namespace kestrel {

namespace {

CExtractJob::ProgressHook& CurrentProgressHook() {
    static CExtractJob::ProgressHook hook;
    return hook;
}

int& ShowDelay() {
    static int nMilliseconds = 500;
    return nMilliseconds;
}

QString TimeLeftText(const shelf::EXTRACT_PROGRESS& c_st, qint64 llElapsed) {
    // Too early to say: the first second and the first bytes are no measure.
    if (c_st.llBytesTotal <= 0 || c_st.llBytesDone <= 0 || llElapsed < 1000)
        return QStringLiteral("残り時間を計算しています…");
    const double dLeft = static_cast<double>(llElapsed) *
                         static_cast<double>(c_st.llBytesTotal - c_st.llBytesDone) /
                         static_cast<double>(c_st.llBytesDone) / 1000.0;
    if (dLeft < 60.0)
        return QStringLiteral("残り約 %1 秒").arg(std::max(1, static_cast<int>(dLeft + 0.5)));
    return QStringLiteral("残り約 %1 分").arg(static_cast<qint64>(dLeft / 60.0 + 0.5));
}

// While the job runs, nothing the user does reaches the window behind (its commands would touch
// the archive driver), but it keeps painting; Esc cancels. A modal dialog holds the window back by
// itself, and its own input must pass.
class CInputGuard : public QObject {
public:
    explicit CInputGuard(CExtractJob* pcJob) : m_pcJob(pcJob) { qApp->installEventFilter(this); }
    ~CInputGuard() override { qApp->removeEventFilter(this); }

    bool eventFilter(QObject*, QEvent* pEvent) override {
        if (QApplication::activeModalWidget() != nullptr) return false;
        switch (pEvent->type()) {
            case QEvent::KeyPress:
                if (static_cast<QKeyEvent*>(pEvent)->key() == Qt::Key_Escape) m_pcJob->Cancel();
                return true;
            case QEvent::KeyRelease:
            case QEvent::Shortcut:
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonRelease:
            case QEvent::MouseButtonDblClick:
            case QEvent::Wheel:
            case QEvent::ContextMenu:
            case QEvent::DragEnter:
            case QEvent::DragMove:
            case QEvent::Drop:
            case QEvent::TouchBegin:
            case QEvent::TouchUpdate:
            case QEvent::TouchEnd:
                return true;
            default:
                return false;
        }
    }

private:
    CExtractJob* m_pcJob;
};

}  // namespace

// The progress of a job: the entry worked on, a bar by bytes, counts and the time left.
class CProgressDialog : public QDialog {
public:
    CProgressDialog(QWidget* pParent, const QString& c_strVerb, std::function<void()> fnCancel)
        : QDialog(pParent), m_fnCancel(std::move(fnCancel)) {
        setObjectName(QLatin1String(FormName::frmProgressDialog));
        setWindowTitle(c_strVerb + QStringLiteral("中 - ケストレル"));
        setModal(true);
        auto* pLayout = new QVBoxLayout(this);
        m_pName = AddLabel(pLayout, FormName::frmProgress_Name);
        m_pName->setTextFormat(Qt::PlainText);
        m_pName->setMinimumWidth(360);
        m_pBar = new QProgressBar(this);
        m_pBar->setObjectName(QLatin1String(FormName::frmProgress_Bar));
        m_pBar->setRange(0, 1000);
        pLayout->addWidget(m_pBar);
        m_pCount = AddLabel(pLayout, FormName::frmProgress_Count);
        m_pTime = AddLabel(pLayout, FormName::frmProgress_Time);
        auto* pButtons = new QDialogButtonBox(this);
        m_pCancel = pButtons->addButton(QStringLiteral("キャンセル"), QDialogButtonBox::RejectRole);
        m_pCancel->setObjectName(QLatin1String(FormName::frmProgress_Cancel));
        connect(pButtons, &QDialogButtonBox::rejected, this, &CProgressDialog::reject);
        pLayout->addWidget(pButtons);
    }

    void Show(const shelf::EXTRACT_PROGRESS& c_st, qint64 llElapsed) {
        if (!m_pCancel->isEnabled()) return;
        // The whole path is the name: an entry is known by its folders.
        m_pName->setText(QString::fromStdWString(shelf::VisibleText(c_st.strPath)));
        m_pBar->setValue(static_cast<int>(c_st.Part() * 1000.0));
        m_pCount->setText(
            QStringLiteral("%1 / %2 件").arg(c_st.nEntriesDone).arg(c_st.nEntriesTotal));
        m_pTime->setText(TimeLeftText(c_st, llElapsed));
    }

    void Cancelling() {
        m_pCancel->setEnabled(false);
        m_pTime->setText(QStringLiteral("中止しています…"));
    }

    // キャンセル, Esc and the window's close button all come here; the dialog stays until the
    // work has stopped.
    void reject() override { m_fnCancel(); }

private:
    QLabel* AddLabel(QVBoxLayout* pLayout, const char* pszName) {
        auto* pLabel = new QLabel(this);
        pLabel->setObjectName(QLatin1String(pszName));
        pLayout->addWidget(pLabel);
        return pLabel;
    }

    std::function<void()> m_fnCancel;
    QLabel* m_pName;
    QProgressBar* m_pBar;
    QLabel* m_pCount;
    QLabel* m_pTime;
    QPushButton* m_pCancel;
};

// The password of an archive's encrypted entries: masked unless the user asks to see it.
class CPasswordDialog : public QDialog {
public:
    CPasswordDialog(QWidget* pParent, const QString& c_strArchiveName, bool bWrongBefore)
        : QDialog(pParent) {
        setObjectName(QLatin1String(FormName::frmPasswordDialog));
        setWindowTitle(QStringLiteral("パスワード - ケストレル"));
        auto* pLayout = new QVBoxLayout(this);
        auto* pText =
            new QLabel((bWrongBefore ? QStringLiteral("パスワードが違います。\n") : QString()) +
                           QStringLiteral("「%1」には暗号化されたファイルがあります。\n"
                                          "パスワードを入力してください。")
                               .arg(c_strArchiveName),
                       this);
        pText->setTextFormat(Qt::PlainText);
        pLayout->addWidget(pText);
        m_pEdit = new QLineEdit(this);
        m_pEdit->setObjectName(QLatin1String(FormName::frmPassword_Text));
        m_pEdit->setEchoMode(QLineEdit::Password);
        pLayout->addWidget(m_pEdit);
        auto* pShow = new QCheckBox(QStringLiteral("パスワードを表示する"), this);
        pShow->setObjectName(QLatin1String(FormName::frmPassword_Show));
        connect(pShow, &QCheckBox::toggled, this, [this](bool bShow) {
            m_pEdit->setEchoMode(bShow ? QLineEdit::Normal : QLineEdit::Password);
        });
        pLayout->addWidget(pShow);
        auto* pButtons = new QDialogButtonBox(this);
        pButtons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
        pButtons->addButton(QStringLiteral("キャンセル"), QDialogButtonBox::RejectRole);
        connect(pButtons, &QDialogButtonBox::accepted, this, &QDialog::accept);
        connect(pButtons, &QDialogButtonBox::rejected, this, &QDialog::reject);
        pLayout->addWidget(pButtons);
    }
    ~CPasswordDialog() override { m_pEdit->clear(); }

    // Moves the typed password into *pPassword, leaving as little of it behind as Qt lets us.
    void TakePassword(kestrel::Secret* pPassword) {
        QString strText = m_pEdit->text();
        m_pEdit->clear();  // now strText holds the field's only copy, and wipes it below
        QByteArray baText = strText.toUtf8();
        pPassword->Assign(baText.constData(), static_cast<size_t>(baText.size()));
        explicit_bzero(baText.data(), static_cast<size_t>(baText.size()));
        explicit_bzero(strText.data(), static_cast<size_t>(strText.size()) * sizeof(QChar));
    }

private:
    QLineEdit* m_pEdit;
};

void CExtractJob::SetProgressHook(ProgressHook hook) {
    CurrentProgressHook() = std::move(hook);
}

void CExtractJob::SetShowDelay(int nMilliseconds) {
    ShowDelay() = nMilliseconds;
}

CExtractJob::CExtractJob(QWidget* pWindow, const QString& c_strArchiveName,
                         const QString& c_strVerb)
    : m_pWindow(pWindow), m_strArchiveName(c_strArchiveName), m_strVerb(c_strVerb) {}

CExtractJob::~CExtractJob() = default;

int32_t CExtractJob::Run(const Work& fnWork) {
    m_bRunning = true;
    m_timer.start();
    CInputGuard guard(this);
    CProgressDialog dialog(m_pWindow, m_strVerb, [this] { Cancel(); });
    m_pDialog = &dialog;
    QTimer tick;
    connect(&tick, &QTimer::timeout, this, [this] { Tick(); });
    tick.start(100);

    int32_t nResult = -1;
    std::thread worker([this, &fnWork, &nResult] {
        try {
            nResult = fnWork(this);
        } catch (...) {
            nResult = -1;
        }
        m_bDone = true;
        QMetaObject::invokeMethod(
            this, [this] { m_loop.quit(); }, Qt::QueuedConnection);
    });
    // The loop ends with the work, or at once when the program is asked to quit (a signal):
    // then the work is cancelled and waited for.
    if (!m_bDone) m_loop.exec();
    if (!m_bDone) {
        m_bQuitRequested = true;
        Cancel();
        while (!m_bDone) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    worker.join();
    tick.stop();
    m_pDialog = nullptr;
    m_bRunning = false;
    return nResult;
}

void CExtractJob::Cancel() {
    m_bCancel = true;
    if (m_pDialog != nullptr) m_pDialog->Cancelling();
    if (m_pPasswordDialog) m_pPasswordDialog->reject();
}

uint64_t CExtractJob::nFinished() const {
    const uint64_t nProblems =
        std::count_if(m_vstProblems.begin(), m_vstProblems.end(),
                      [](const shelf::EXTRACT_PROBLEM& c_st) { return !c_st.strPath.empty(); });
    return m_stLast.nEntriesDone > nProblems ? m_stLast.nEntriesDone - nProblems : 0;
}

void CExtractJob::Tick() {
    if (m_pDialog == nullptr || m_bAsking) return;
    if (!m_pDialog->isVisible()) {
        if (m_timer.elapsed() < ShowDelay() || m_bCancel) return;
        m_pDialog->show();
    }
    shelf::EXTRACT_PROGRESS stLast;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        stLast = m_stLast;
    }
    m_pDialog->Show(stLast, m_timer.elapsed());
}

bool CExtractJob::Progress(const shelf::EXTRACT_PROGRESS& c_st) {
    if (CurrentProgressHook()) CurrentProgressHook()(c_st);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stLast.nEntriesDone = c_st.nEntriesDone;
    m_stLast.nEntriesTotal = c_st.nEntriesTotal;
    m_stLast.llBytesDone = c_st.llBytesDone;
    m_stLast.llBytesTotal = c_st.llBytesTotal;
    if (m_stLast.strPath != c_st.strPath) m_stLast.strPath = c_st.strPath;
    return !m_bCancel;
}

void CExtractJob::Problem(const shelf::EXTRACT_PROBLEM& c_st) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_vstProblems.push_back(c_st);
}

bool CExtractJob::Password(bool bWrongBefore, kestrel::Secret* pPassword) {
    if (m_bCancel) return false;
    bool bGiven = false;
    QMetaObject::invokeMethod(
        this, [&] { bGiven = AskPassword(bWrongBefore, pPassword); }, Qt::BlockingQueuedConnection);
    return bGiven && !m_bCancel;
}

bool CExtractJob::AskPassword(bool bWrongBefore, kestrel::Secret* pPassword) {
    if (m_bCancel || m_bPasswordDeclined) return false;
    m_bAsking = true;
    QWidget* pParent = m_pDialog != nullptr && m_pDialog->isVisible()
                           ? static_cast<QWidget*>(m_pDialog)
                           : m_pWindow;
    CPasswordDialog dialog(pParent, m_strArchiveName, bWrongBefore);
    m_pPasswordDialog = &dialog;
    const bool bGiven = dialog.exec() == QDialog::Accepted && !m_bCancel;
    if (bGiven)
        dialog.TakePassword(pPassword);
    else
        m_bPasswordDeclined = true;
    m_bAsking = false;
    return bGiven;
}

}  // namespace kestrel
