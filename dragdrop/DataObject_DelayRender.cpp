#include "DataObject_DelayRender.h"

#include <QDrag>
#include <QGuiApplication>
#include <QPointer>
#include <QTimer>
#include <QUrl>

#include "CMessageBox.h"

#ifdef KESTREL_WITH_X11
#include <QtGui/qguiapplication_platform.h>
// Xlib's macros (None, Bool, Status, ...) clash with Qt's names: keep them below Qt's headers.
#include <X11/Xlib.h>
#ifdef KESTREL_WITH_XI2
#include <X11/extensions/XInput2.h>
#endif
#endif

namespace shelf_cli {

namespace {

#ifdef KESTREL_WITH_X11

// X numbers the buttons 1 left, 2 middle, 3 right, 4 to 7 wheel, 8 and 9 the extra buttons.
Qt::MouseButtons FromXButtons(bool bLeft, bool bMiddle, bool bRight, bool bExtra1, bool bExtra2) {
    Qt::MouseButtons eButtons;
    if (bLeft) eButtons |= Qt::LeftButton;
    if (bMiddle) eButtons |= Qt::MiddleButton;
    if (bRight) eButtons |= Qt::RightButton;
    if (bExtra1) eButtons |= Qt::ExtraButton1;
    if (bExtra2) eButtons |= Qt::ExtraButton2;
    return eButtons;
}

#ifdef KESTREL_WITH_XI2
// The master pointer's buttons, all of them; false when the server has no XInput 2.
bool QueryXI2(Display* pDisplay, Qt::MouseButtons* peButtons) {
    static const bool c_bHaveXI2 = [pDisplay] {
        int nOpcode = 0, nEvent = 0, nError = 0;
        return XQueryExtension(pDisplay, "XInputExtension", &nOpcode, &nEvent, &nError) != 0;
    }();
    if (!c_bHaveXI2) return false;

    int nDevice = 0;
    if (!XIGetClientPointer(pDisplay, 0, &nDevice)) return false;
    Window root = 0, child = 0;
    double dRootX = 0, dRootY = 0, dWinX = 0, dWinY = 0;
    XIButtonState stButtons{};
    XIModifierState stModifiers{};
    XIGroupState stGroup{};
    if (!XIQueryPointer(pDisplay, nDevice, DefaultRootWindow(pDisplay), &root, &child, &dRootX,
                        &dRootY, &dWinX, &dWinY, &stButtons, &stModifiers, &stGroup)) {
        return false;
    }
    auto held = [&stButtons](int nButton) {
        return nButton / 8 < stButtons.mask_len && XIMaskIsSet(stButtons.mask, nButton);
    };
    *peButtons = FromXButtons(held(1), held(2), held(3), held(8), held(9));
    XFree(stButtons.mask);
    return true;
}
#endif

// The core pointer query knows only the three main buttons.
bool QueryCore(Display* pDisplay, Qt::MouseButtons* peButtons) {
    Window root = 0, child = 0;
    int nRootX = 0, nRootY = 0, nWinX = 0, nWinY = 0;
    unsigned int uMask = 0;
    if (!XQueryPointer(pDisplay, DefaultRootWindow(pDisplay), &root, &child, &nRootX, &nRootY,
                       &nWinX, &nWinY, &uMask)) {
        return false;
    }
    *peButtons =
        FromXButtons(uMask & Button1Mask, uMask & Button2Mask, uMask & Button3Mask, false, false);
    return true;
}

#endif

class CSystemMouseButtonState : public IMouseButtonState {
public:
    Qt::MouseButtons Buttons() const override {
#ifdef KESTREL_WITH_X11
        auto* pcX11 =
            qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
        if (Display* pDisplay = pcX11 ? pcX11->display() : nullptr) {
            Qt::MouseButtons eButtons;
#ifdef KESTREL_WITH_XI2
            if (QueryXI2(pDisplay, &eButtons)) return eButtons;
#endif
            if (QueryCore(pDisplay, &eButtons)) return eButtons;
        }
#endif
        return QGuiApplication::mouseButtons();
    }
};

}  // namespace

std::shared_ptr<const IMouseButtonState> SystemMouseButtonState() {
    static const auto c_pcState = std::make_shared<const CSystemMouseButtonState>();
    return c_pcState;
}

DataObject_DelayRender::DataObject_DelayRender() : m_pcButtons(SystemMouseButtonState()) {
    Initialize();
}

DataObject_DelayRender::DataObject_DelayRender(const QStringList& c_lstFilePaths)
    : DataObject_DelayRender() {
    QList<QUrl> lstUrls;
    lstUrls.reserve(c_lstFilePaths.size());
    for (const QString& c_strPath : c_lstFilePaths) lstUrls.append(QUrl::fromLocalFile(c_strPath));
    setUrls(lstUrls);
}

DataObject_DelayRender::~DataObject_DelayRender() = default;

void DataObject_DelayRender::Set_MouseButtonState(
    std::shared_ptr<const IMouseButtonState> pcButtons) {
    m_pcButtons = pcButtons ? std::move(pcButtons) : SystemMouseButtonState();
}

void DataObject_DelayRender::OnRender() {
    kestrel::CMessageBox::Error(nullptr, QStringLiteral("On Drop : DataObject_DelayRender"));
}

void DataObject_DelayRender::Initialize() {
    m_bComplete = false;
}

void DataObject_DelayRender::ButtonCheck() {
    if (m_bComplete) return;
    constexpr Qt::MouseButtons c_eWatched =
        Qt::LeftButton | Qt::RightButton | Qt::MiddleButton | Qt::ExtraButton1 | Qt::ExtraButton2;
    if (m_pcButtons->Buttons() & c_eWatched) return;
    // Set first: a request made while rendering must not render again.
    m_bComplete = true;
    OnRender();
}

QVariant DataObject_DelayRender::retrieveData(const QString& c_strMimeType, QMetaType eType) const {
    // QMimeData asks through a const member; the object itself is never const.
    const_cast<DataObject_DelayRender*>(this)->ButtonCheck();
    return QMimeData::retrieveData(c_strMimeType, eType);
}

void DataObject_DelayRender::Render_AtDrop() {
    if (m_bComplete) return;
    m_bComplete = true;
    OnRender();
}

namespace {

// Renders when the mouse is let go over a target that has taken the drop, before the drop is
// announced: file managers that read the paths while the mouse moves (and keep them) never ask
// again after the release, and would find nothing. A target that refused (its last answer to
// the motion, XdndStatus under X11) gets no drop from Qt either: nothing is extracted for it.
class CReleaseWatcher : public QObject {
public:
    CReleaseWatcher(QDrag* pcDrag, DataObject_DelayRender* pcData) : m_pcData(pcData) {
        connect(pcDrag, &QDrag::actionChanged, this,
                [](Qt::DropAction eAction) { s_eAction = eAction; });
    }
    bool eventFilter(QObject*, QEvent* pEvent) override {
        if (pEvent->type() != QEvent::MouseButtonRelease || !m_pcData) return false;
        if (s_eAction != Qt::IgnoreAction) m_pcData->Render_AtDrop();
        return false;
    }

private:
    // Qt reports the target's answer only when it differs from the last one, which it keeps
    // from one drag to the next; so is this copy of it.
    static inline Qt::DropAction s_eAction = Qt::IgnoreAction;
    QPointer<DataObject_DelayRender> m_pcData;
};

}  // namespace

Qt::DropAction DoDragDrop_Copy(QObject* pSource, QMimeData* pData) {
    auto* pcDrag = new QDrag(pSource);
    pcDrag->setMimeData(pData);
    std::unique_ptr<CReleaseWatcher> pcWatcher;
    if (auto* pcDelay = qobject_cast<DataObject_DelayRender*>(pData)) {
        pcWatcher = std::make_unique<CReleaseWatcher>(pcDrag, pcDelay);
        // Installed from inside the drag's own loop, after the drag's filter: the last filter
        // installed sees the release first, before the drop goes out.
        QTimer::singleShot(0, pcWatcher.get(),
                           [pcWatch = pcWatcher.get()] { qApp->installEventFilter(pcWatch); });
    }
    return pcDrag->exec(Qt::CopyAction, Qt::CopyAction);
}

}  // namespace shelf_cli
