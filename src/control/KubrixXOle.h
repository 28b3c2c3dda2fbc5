#pragma once
// The control's side towards its container: the events' connection point, error and class
// info, persistence of the standard properties (stream and property bag), drawing into the
// container's image, in-place activation into a container's widget, safety options and quick
// activation. The interfaces without a meaning on this platform answer E_NOTIMPL.

#include <QPointer>
#include <QWidget>

#include <memory>

#include "control/OleInterfaces.h"

namespace kubrix {

class TKubrixX;
class TDispatchEventSink;

class TKubrixXOle {
public:
    explicit TKubrixXOle(TKubrixX& control);
    ~TKubrixXOle();

    //! The container-side interface iid (with a reference on the control), or E_NOINTERFACE.
    HRESULT QueryInterface(const IID& iid, void** object);

    //! Places the control into parent (at rect, or filling it) inside a holder widget that
    //! parent owns; with holdReference the holder keeps the control alive until it goes.
    //! Destroying the holder takes the control out again, so parent never deletes it.
    QWidget* PlaceInto(QWidget* parent, const QRect* rect, bool holdReference);
    //! Takes the control out of its holder (and deletes the holder).
    void Deactivate();

    //! Events reach the sink only while this is 0.
    int FreezeCount() const { return freeze_; }

    // ---- used by the parts
    HRESULT Advise(IUnknown* sink, std::uint32_t* cookie);
    HRESULT Unadvise(std::uint32_t cookie);
    HRESULT SetFreeze(bool freeze);
    TKubrixX& Control() { return control_; }
    ComPtr<IUnknown> ClientSite;
    std::uint32_t SafetyOptions = 0;
    bool Dirty = false;

private:
    struct Parts;
    class THolder;
    friend class THolder;

    TKubrixX& control_;
    std::unique_ptr<Parts> parts_;
    QPointer<QWidget> holder_;
    std::uint32_t cookie_ = 0;
    int freeze_ = 0;
};

}  // namespace kubrix
