#include "framework/filters/PinBase.h"

#include "framework/filters/FilterBase.h"
#include "framework/media/MediaTypeEnumerator.h"
#include "framework/com/ResultMacros.h"

#include <dshow.h>
#include <vfwmsgs.h>

#include <cwchar>
#include <new>
#include <utility>

namespace {

// Failures that only say "this type will not do"; a negotiation goes on
// after them and reports something more telling if it meets it.
bool IsTypeRefusal(HRESULT result) {
    return result == E_FAIL || result == VFW_E_TYPE_NOT_ACCEPTED || result == E_INVALIDARG;
}

// AcceptType's answer as a connection result: anything but S_OK refuses,
// and a vague refusal becomes VFW_E_TYPE_NOT_ACCEPTED.
HRESULT AcceptanceFailure(HRESULT accepted) {
    if (SUCCEEDED(accepted) || accepted == E_FAIL || accepted == E_INVALIDARG) {
        return VFW_E_TYPE_NOT_ACCEPTED;
    }
    return accepted;
}

void ResetMediaType(AM_MEDIA_TYPE* type) {
    *type = AM_MEDIA_TYPE{};
    type->bFixedSizeSamples = TRUE;
    type->lSampleSize = 1;
}

} // namespace

// Undoes a connection attempt when it leaves early: DropConnection and the
// peer's reference. The connecting side drops first and then lets the peer
// go; the receiving side lets the peer go first, so its DropConnection
// already sees the pin unconnected.
class PinBase::ConnectionRollback {
public:
    enum class Order { kDropFirst, kReleasePeerFirst };
    ConnectionRollback(PinBase* pin, Order order) : pin_(pin), order_(order) {}
    ~ConnectionRollback() {
        if (pin_ == nullptr) {
            return;
        }
        if (order_ == Order::kReleasePeerFirst) {
            pin_->SetPeer(nullptr); // -1 on the peer, when one was stored
        }
        (void)pin_->DropConnection();
        pin_->SetPeer(nullptr);
    }
    ConnectionRollback(const ConnectionRollback&) = delete;
    ConnectionRollback& operator=(const ConnectionRollback&) = delete;
    // The attempt succeeded: nothing to undo.
    void Dismiss() { pin_ = nullptr; }

private:
    PinBase* pin_;
    const Order order_;
};

PinBase::PinBase(FilterBase* filter, CriticalSection* lock, const WCHAR* name,
                 PIN_DIRECTION direction)
    : UnknownBase(nullptr), direction_(direction), lock_(lock), filter_(filter) {
    if (name != nullptr) {
        // A pin without its name cannot be found by FindPin, but it works.
        const size_t length = wcslen(name);
        name_ = new (std::nothrow) WCHAR[length + 1];
        if (name_ != nullptr) {
            wmemcpy(name_, name, length + 1);
        }
    }
}

PinBase::~PinBase() {
    delete[] name_;
    ReleaseContents(&connectionType_);
}

HRESULT STDMETHODCALLTYPE PinBase::InnerQueryInterface(REFIID iid, void** out) {
    if (IsEqualIID(iid, IID_IPin)) {
        return HandOutInterface(static_cast<IPin*>(this), out); // +1 on the filter
    }
    if (IsEqualIID(iid, IID_IQualityControl)) {
        return HandOutInterface(static_cast<IQualityControl*>(this), out); // +1 on the filter
    }
    return UnknownBase::InnerQueryInterface(iid, out); // IUnknown: +1 on the filter
}

ULONG STDMETHODCALLTYPE PinBase::InnerAddRef() {
    return filter_->AsBaseFilter()->AddRef(); // +1 on the filter
}

ULONG STDMETHODCALLTYPE PinBase::InnerRelease() {
    return filter_->AsBaseFilter()->Release(); // -1 on the filter
}

LONG PinBase::TypeListVersion() {
    return 1; // a pin's proposed types never change here
}

HRESULT PinBase::Activate() {
    return S_OK;
}

HRESULT PinBase::Deactivate() {
    return S_OK;
}

HRESULT PinBase::StartRun(REFERENCE_TIME /*start*/) {
    return S_OK;
}

HRESULT PinBase::AdoptType(const AM_MEDIA_TYPE* type) {
    RETURN_IF_FAILED(connectionType_.Assign(*type));
    return S_OK;
}

HRESULT PinBase::VetPeer(IPin* peer) {
    PIN_DIRECTION peerDirection;
    RETURN_IF_FAILED(peer->QueryDirection(&peerDirection));
    if (peerDirection == direction_) {
        return VFW_E_INVALID_DIRECTION;
    }
    return S_OK;
}

HRESULT PinBase::FinishConnection(IPin* /*peer*/) {
    return S_OK;
}

HRESULT PinBase::ProposeType(int /*position*/, MediaTypeRecord* /*type*/) {
    return E_UNEXPECTED;
}

bool PinBase::MayChangeConnection() const {
    return filter_->State() == State_Stopped || canReconnectWhileActive_;
}

HRESULT STDMETHODCALLTYPE PinBase::Connect(IPin* receivePin, const AM_MEDIA_TYPE* type) {
    RETURN_HR_IF_NULL(E_POINTER, receivePin);
    auto guard = lock_->lock();
    if (IsConnected()) {
        return VFW_E_ALREADY_CONNECTED;
    }
    if (!MayChangeConnection()) {
        return VFW_E_NOT_STOPPED;
    }
    // Every failed attempt inside the negotiation has been undone already;
    // a failed Connect still ends with one DropConnection of its own.
    ConnectionRollback rollback(this, ConnectionRollback::Order::kDropFirst);
    RETURN_IF_FAILED(NegotiateType(receivePin, type));
    rollback.Dismiss();
    return S_OK;
}

HRESULT PinBase::NegotiateType(IPin* peer, const AM_MEDIA_TYPE* type) {
    if (type != nullptr) {
        MediaTypeRecord given;
        // Only the GUIDs matter for partiality: a shallow view is enough.
        given.majortype = type->majortype;
        given.formattype = type->formattype;
        if (!given.IsPartial()) {
            return TryConnect(peer, type);
        }
    }

    HRESULT failure = VFW_E_NO_ACCEPTABLE_TYPES;
    for (int pass = 0; pass < 2; ++pass) {
        // By default the peer's types go first.
        const bool usePeerTypes = pass == (tryOwnTypesFirst_ ? 1 : 0);
        ComPtr<IEnumMediaTypes> types;
        const HRESULT enumerated =
            usePeerTypes ? peer->EnumMediaTypes(types.put()) : EnumMediaTypes(types.put());
        if (FAILED(enumerated) || !types) {
            continue;
        }
        const HRESULT result = TryTypeList(peer, type, types.get());
        if (SUCCEEDED(result)) {
            return result;
        }
        // A list with nothing to offer does not hide what an earlier pass
        // learnt.
        if (!IsTypeRefusal(result) && result != VFW_E_NO_ACCEPTABLE_TYPES) {
            failure = result;
        }
    }
    return failure;
}

HRESULT PinBase::TryTypeList(IPin* peer, const AM_MEDIA_TYPE* pattern, IEnumMediaTypes* types) {
    RETURN_IF_FAILED(types->Reset());
    HRESULT remembered = S_OK;
    for (;;) {
        AM_MEDIA_TYPE* candidate = nullptr;
        ULONG fetched = 0;
        if (types->Next(1, &candidate, &fetched) != S_OK || candidate == nullptr) {
            break;
        }
        bool skip = false;
        if (pattern != nullptr) {
            // MatchesPattern is a MediaTypeRecord operation; borrow the
            // candidate's contents for the comparison and give them back.
            MediaTypeRecord view;
            static_cast<AM_MEDIA_TYPE&>(view) = *candidate;
            skip = !view.MatchesPattern(*pattern);
            view.Reset(); // the contents stay the candidate's
        }
        HRESULT result = S_OK;
        if (!skip) {
            result = TryConnect(peer, candidate);
        }
        FreeTaskMediaType(candidate);
        if (skip) {
            continue;
        }
        if (SUCCEEDED(result)) {
            return result;
        }
        if (remembered == S_OK && !IsTypeRefusal(result)) {
            remembered = result;
        }
    }
    return remembered != S_OK ? remembered : VFW_E_NO_ACCEPTABLE_TYPES;
}

HRESULT PinBase::TryConnect(IPin* peer, const AM_MEDIA_TYPE* type) {
    ConnectionRollback rollback(this, ConnectionRollback::Order::kDropFirst);
    RETURN_IF_FAILED(VetPeer(peer));
    const HRESULT accepted = AcceptType(type);
    if (accepted != S_OK) {
        return AcceptanceFailure(accepted);
    }
    SetPeer(peer); // +1 on the peer
    RETURN_IF_FAILED(AdoptType(type));
    RETURN_IF_FAILED(peer->ReceiveConnection(AsPin(), type));
    const HRESULT finished = FinishConnection(peer);
    if (FAILED(finished)) {
        peer->Disconnect(); // the peer had accepted; undo its side
        return finished;
    }
    rollback.Dismiss();
    return finished;
}

HRESULT STDMETHODCALLTYPE PinBase::ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) {
    if (connector == nullptr || type == nullptr) {
        return E_POINTER;
    }
    auto guard = lock_->lock();
    if (IsConnected()) {
        return VFW_E_ALREADY_CONNECTED;
    }
    if (!MayChangeConnection()) {
        return VFW_E_NOT_STOPPED;
    }
    ConnectionRollback rollback(this, ConnectionRollback::Order::kReleasePeerFirst);
    RETURN_IF_FAILED(VetPeer(connector));
    const HRESULT accepted = AcceptType(type);
    if (accepted != S_OK) {
        return AcceptanceFailure(accepted);
    }
    SetPeer(connector); // +1 on the peer
    RETURN_IF_FAILED(AdoptType(type));
    RETURN_IF_FAILED(FinishConnection(connector));
    rollback.Dismiss();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE PinBase::Disconnect() {
    auto guard = lock_->lock();
    if (filter_->State() != State_Stopped) {
        return VFW_E_NOT_STOPPED;
    }
    if (!IsConnected()) {
        return S_FALSE;
    }
    RETURN_IF_FAILED(DropConnection()); // the pin stays connected
    SetPeer(nullptr);                   // -1 on the peer
    return S_OK;
}

HRESULT STDMETHODCALLTYPE PinBase::ConnectedTo(IPin** out) {
    RETURN_HR_IF_NULL(E_POINTER, out);
    auto guard = peerLock_.lock();
    peer_.copy_to(out); // +1 for the caller
    return *out != nullptr ? S_OK : VFW_E_NOT_CONNECTED;
}

void PinBase::SetPeer(IPin* peer) {
    ComPtr<IPin> old;
    {
        auto guard = peerLock_.lock();
        old = std::move(peer_);
        peer_ = ComPtr<IPin>(peer); // +1 on the new peer
    }
} // -1 on the old peer, outside the lock: its release may run any code

HRESULT STDMETHODCALLTYPE PinBase::ConnectionMediaType(AM_MEDIA_TYPE* out) {
    RETURN_HR_IF_NULL(E_POINTER, out);
    auto guard = lock_->lock();
    if (!IsConnected()) {
        ResetMediaType(out);
        return VFW_E_NOT_CONNECTED;
    }
    return DeepCopyMediaType(out, &connectionType_);
}

HRESULT STDMETHODCALLTYPE PinBase::QueryPinInfo(PIN_INFO* info) {
    RETURN_HR_IF_NULL(E_POINTER, info);
    info->pFilter = nullptr;
    if (filter_ != nullptr) {
        info->pFilter = filter_->AsBaseFilter();
        info->pFilter->AddRef(); // +1 for the caller
    }
    info->achName[0] = L'\0';
    if (name_ != nullptr) {
        lstrcpynW(info->achName, name_, MAX_PIN_NAME); // at most 127 and a terminator
    }
    info->dir = direction_;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE PinBase::QueryDirection(PIN_DIRECTION* out) {
    RETURN_HR_IF_NULL(E_POINTER, out);
    *out = direction_;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE PinBase::QueryId(LPWSTR* out) {
    return MakeTaskString(name_, out);
}

HRESULT STDMETHODCALLTYPE PinBase::QueryAccept(const AM_MEDIA_TYPE* type) {
    RETURN_HR_IF_NULL(E_POINTER, type);
    const HRESULT accepted = AcceptType(type);
    return FAILED(accepted) ? S_FALSE : accepted;
}

HRESULT STDMETHODCALLTYPE PinBase::EnumMediaTypes(IEnumMediaTypes** out) {
    return MediaTypeEnumerator::Create(AsPin(), this, out);
}

HRESULT STDMETHODCALLTYPE PinBase::QueryInternalConnections(IPin** /*pins*/, ULONG* /*count*/) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE PinBase::NewSegment(REFERENCE_TIME /*start*/, REFERENCE_TIME /*stop*/,
                                              double /*rate*/) {
    // No pin here reads the segment back; forwarding pins pass it on.
    return S_OK;
}

HRESULT STDMETHODCALLTYPE PinBase::Notify(IBaseFilter* /*sender*/, Quality /*message*/) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE PinBase::SetSink(IQualityControl* sink) {
    auto guard = lock_->lock();
    qualitySink_ = sink; // not counted
    return S_OK;
}

HRESULT PinBase::ForwardQuality(const Quality& message) {
    if (qualitySink_ != nullptr) {
        return qualitySink_->Notify(filter_->AsBaseFilter(), message);
    }
    if (!IsConnected()) {
        return VFW_E_NOT_FOUND;
    }
    ComPtr<IQualityControl> upstream;
    if (FAILED(peer_.query_to(upstream)) || !upstream) {
        return VFW_E_NOT_FOUND;
    }
    return upstream->Notify(filter_->AsBaseFilter(), message);
}

HRESULT PinBase::MakeSeekingPassThrough(IUnknown* outer, BOOL isRenderer, IPin* pin,
                                        IUnknown** out) {
    RETURN_HR_IF_NULL(E_POINTER, out);
    *out = nullptr;
    ComPtr<IUnknown> passThrough;
    RETURN_IF_FAILED(CoCreateInstance(CLSID_SeekingPassThru, outer, CLSCTX_INPROC_SERVER,
                                      IID_IUnknown, passThrough.put_void()));
    ComPtr<ISeekingPassThru> init;
    RETURN_IF_FAILED(passThrough.query_to(init)); // the object goes with passThrough
    RETURN_IF_FAILED(init->Init(isRenderer, pin));
    *out = passThrough.detach(); // the creation reference goes to the caller
    return S_OK;
}
