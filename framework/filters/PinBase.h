// The base of every pin: IPin and IQualityControl, the connection protocol
// with its hooks, and segment bookkeeping. A pin has no reference count of
// its own: its references are references on the owning filter, so a pin
// handed to the graph keeps the whole filter alive.
#pragma once

#include "framework/com/CriticalSection.h"
#include "framework/com/ComPtr.h"
#include "framework/media/MediaTypeRecord.h"
#include "framework/media/MediaTypeSource.h"
#include "framework/com/UnknownBase.h"

#include <windows.h>
#include <strmif.h>

#include <atomic>

class FilterBase;

class PinBase : public UnknownBase, public IPin, public IQualityControl, public MediaTypeSource {
public:
    // `name` is copied (null allowed); `lock` is the owning filter's lock.
    PinBase(FilterBase* filter, CriticalSection* lock, const WCHAR* name, PIN_DIRECTION direction);
    ~PinBase() override;

    DECLARE_DELEGATING_UNKNOWN

    // Non-delegating IUnknown: the counts go to the owning filter.
    HRESULT STDMETHODCALLTYPE InnerQueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE InnerAddRef() override;
    ULONG STDMETHODCALLTYPE InnerRelease() override;

    // Hooks, in slot order.
    LONG TypeListVersion() override;
    virtual HRESULT Activate();
    virtual HRESULT Deactivate();
    virtual HRESULT StartRun(REFERENCE_TIME start);
    // Only S_OK accepts.
    virtual HRESULT AcceptType(const AM_MEDIA_TYPE* type) = 0;
    virtual HRESULT AdoptType(const AM_MEDIA_TYPE* type);
    virtual HRESULT VetPeer(IPin* peer);
    // Undoes what the connection hooks set up; called on every failed
    // attempt and on Disconnect.
    virtual HRESULT DropConnection() = 0;
    virtual HRESULT FinishConnection(IPin* peer);
    HRESULT ProposeType(int position, MediaTypeRecord* type) override;

    // IPin
    HRESULT STDMETHODCALLTYPE Connect(IPin* receivePin, const AM_MEDIA_TYPE* type) override;
    HRESULT STDMETHODCALLTYPE ReceiveConnection(IPin* connector,
                                                const AM_MEDIA_TYPE* type) override;
    HRESULT STDMETHODCALLTYPE Disconnect() override;
    HRESULT STDMETHODCALLTYPE ConnectedTo(IPin** out) override;
    HRESULT STDMETHODCALLTYPE ConnectionMediaType(AM_MEDIA_TYPE* out) override;
    HRESULT STDMETHODCALLTYPE QueryPinInfo(PIN_INFO* info) override;
    HRESULT STDMETHODCALLTYPE QueryDirection(PIN_DIRECTION* out) override;
    HRESULT STDMETHODCALLTYPE QueryId(LPWSTR* out) override;
    HRESULT STDMETHODCALLTYPE QueryAccept(const AM_MEDIA_TYPE* type) override;
    HRESULT STDMETHODCALLTYPE EnumMediaTypes(IEnumMediaTypes** out) override;
    HRESULT STDMETHODCALLTYPE QueryInternalConnections(IPin** pins, ULONG* count) override;
    HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop,
                                         double rate) override;

    // IQualityControl
    HRESULT STDMETHODCALLTYPE Notify(IBaseFilter* sender, Quality message) override;
    HRESULT STDMETHODCALLTYPE SetSink(IQualityControl* sink) override;

    // Passes a quality message to the sink set with SetSink, else upstream to
    // the peer's IQualityControl.
    HRESULT ForwardQuality(const Quality& message);

    // The platform's seeking pass-through, aggregated by `outer` and bound to
    // `pin`; *out receives its non-delegating IUnknown.
    static HRESULT MakeSeekingPassThrough(IUnknown* outer, BOOL isRenderer, IPin* pin,
                                          IUnknown** out);

    IPin* AsPin() { return static_cast<IPin*>(this); }
    bool IsConnected() const { return static_cast<bool>(peer_); }
    IPin* Peer() const { return peer_.get(); }
    FilterBase* Filter() const { return filter_; }
    PIN_DIRECTION Direction() const { return direction_; }
    const MediaTypeRecord& ConnectionType() const { return connectionType_; }
    const WCHAR* Name() const { return name_; }
    // Set by a refused in-stream type change, cleared by a flush or stop.
    bool RunTimeError() const { return runTimeError_; }

protected:
    // The filter lock, shared by the filter and all its pins.
    CriticalSection* PinLock() const { return lock_; }
    void SetRunTimeError(bool failed) { runTimeError_ = failed; }
    // Connection options of the negotiation; both off unless a pin says so.
    void AllowReconnectWhileActive() { canReconnectWhileActive_ = true; }
    void TryOwnTypesFirst() { tryOwnTypesFirst_ = true; }

private:
    class ConnectionRollback;

    HRESULT NegotiateType(IPin* peer, const AM_MEDIA_TYPE* type);
    HRESULT TryTypeList(IPin* peer, const AM_MEDIA_TYPE* pattern, IEnumMediaTypes* types);
    HRESULT TryConnect(IPin* peer, const AM_MEDIA_TYPE* type);
    // True when connections may change in the owning filter's current state.
    bool MayChangeConnection() const;
    // Replaces the peer (null: none); called under lock_.
    void SetPeer(IPin* peer);

    WCHAR* name_ = nullptr;
    // +1 on the peer while connected. Written under lock_ and peerLock_, so
    // read under either: ConnectedTo takes no filter lock (a streaming thread
    // may ask while a state change holds it), only the leaf peerLock_.
    ComPtr<IPin> peer_;
    CriticalSection peerLock_;
    const PIN_DIRECTION direction_;
    CriticalSection* const lock_; // the filter lock
    // Written under lock_ (flush, stop) and on the streaming thread, read on
    // both without a common lock: atomic.
    std::atomic<bool> runTimeError_{false};
    bool canReconnectWhileActive_ = false;
    bool tryOwnTypesFirst_ = false;
    FilterBase* const filter_;               // not counted: the filter owns the pin
    IQualityControl* qualitySink_ = nullptr; // not counted; guarded by lock_
    MediaTypeRecord connectionType_;         // kept after disconnection until replaced; lock_
};
