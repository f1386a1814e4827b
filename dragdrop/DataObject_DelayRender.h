// Drag data whose files are made only when the drop target asks for them after the user has let
// go of the mouse: dragging entries out of an archive extracts nothing while the mouse moves.
#pragma once

#include <QMimeData>
#include <QStringList>
#include <memory>

class QObject;

namespace shelf_cli {

// Which mouse buttons are held at this moment.
class IMouseButtonState {
public:
    virtual ~IMouseButtonState() = default;
    virtual Qt::MouseButtons Buttons() const = 0;
};

// The buttons as the window system sees them now. On X11 this asks the X server (XInput 2, else
// the core pointer query): Qt's own record of the buttons reads "none held" for the whole of a
// drag, so it cannot tell a drop target's early look at the data from the drop. Elsewhere it
// falls back to QGuiApplication::mouseButtons().
std::shared_ptr<const IMouseButtonState> SystemMouseButtonState();

// Offers local paths as "text/uri-list". The first data request made with the left, right,
// middle and both extra buttons up renders (OnRender) once, before the data is handed out;
// asking which formats are present never renders. A render that fails is not reported.
class DataObject_DelayRender : public QMimeData {
    Q_OBJECT

public:
    DataObject_DelayRender();
    explicit DataObject_DelayRender(const QStringList& c_lstFilePaths);
    ~DataObject_DelayRender() override;

    // Replaces the system's buttons (tests play the user's hand through it).
    void Set_MouseButtonState(std::shared_ptr<const IMouseButtonState> pcButtons);
    bool Is_Complete() const { return m_bComplete; }
    // Renders now unless done already: the user has let go over a target that takes the drop.
    void Render_AtDrop();

protected:
    // The rendering step; the base shows "On Drop : DataObject_DelayRender" in the error box.
    virtual void OnRender();
    virtual void Initialize();
    virtual void ButtonCheck();

    QVariant retrieveData(const QString& c_strMimeType, QMetaType eType) const override;

private:
    bool m_bComplete = false;
    std::shared_ptr<const IMouseButtonState> m_pcButtons;
};

// Drags pData from pSource allowing only the copy action and returns the action taken. A
// DataObject_DelayRender is also rendered at the release over a target that takes the drop,
// before the drop is announced, for targets that read the data only while the mouse moves.
//
// Takes ownership of pData. The QDrag is made on the heap and left to Qt, which deletes it and
// pData when the last transfer has ended. Under X11 the drop target requests the data after
// QDrag::exec has returned; a QDrag on the stack (or deleting the data here) would leave the
// target with nothing, so never delete either after this call. The drag is a child of pSource:
// pSource must outlive the drop, or the target receives nothing.
Qt::DropAction DoDragDrop_Copy(QObject* pSource, QMimeData* pData);

}  // namespace shelf_cli
