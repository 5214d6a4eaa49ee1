// The parser filter's property page: the stream's information, the choice of
// the loop to play and the byte offset of the ADX stream in its file.
#pragma once

#include "framework/com/ComPtr.h"
#include "framework/setup/PropertyPageBase.h"

#include <corvina.h>

#include <memory>
#include <optional>

class ParserPropertyPage : public PropertyPageBase {
public:
    // The factory table's create function: a new page with a count of 0, or
    // null and E_OUTOFMEMORY in *result.
    static UnknownBase* CreateInstance(IUnknown* outer, HRESULT* result);

    explicit ParserPropertyPage(IUnknown* outer);

    HRESULT BindObject(IUnknown* object) override;
    HRESULT UnbindObject() override;
    HRESULT FillPage() override;
    HRESULT LeavePage() override;
    HRESULT CommitChanges() override;
    INT_PTR PageMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    // What the dialog's controls hold: the user's offset and loop choice.
    struct Edits {
        INT32 fileOffset;
        INT32 loopIndex;
        INT32 loopFlag; // the check box state
    };

    Edits ReadControls() const;
    void ShowEdits(const Edits& edits);
    // Dirty, and the site told so.
    void MarkDirty();
    void ShowFormatInfo();
    void ReadLoopPoints();
    void FillLoopList();
    void SetControlText(int controlId, const WCHAR* text);
    void EnableLoopControls(BOOL enable);

    ComPtr<IAdxParserControl> control_; // +1 on the parser while bound
    AdxFormatInfo info_{};
    std::unique_ptr<AdxLoopPoint[]> loops_;
    INT32 loopCount_ = 0;
    INT32 totalSamples_ = 0;
    INT32 fileOffset_ = 0;
    INT32 loopIndex_ = 0;
    INT32 loopFlag_ = 0;
    // Set once FillPage is done; until then the notifications that filling
    // causes are not edits.
    bool filled_ = false;
    // Edits not yet applied when the frame deactivated the page (a tab
    // switch): shown again on activation, applied by Apply, dropped when the
    // page is unbound (Cancel). Like every field, used on the frame's thread
    // only.
    std::optional<Edits> pendingEdits_;
};
