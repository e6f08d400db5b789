#pragma once

#include "platform/CommonDialog.h"

#include <string_view>

struct HWND__;

namespace glimmer {

// The system's own file dialogs, comdlg32's GetOpenFileNameW and
// GetSaveFileNameW, modal to their owner. Flags are comdlg32's OFN_ values,
// passed as given. A failure of the dialog raises RuntimeError with
// comdlg32's reason; FNERR_BUFFERTOOSMALL raises BufferTooSmall.
class Win32CommonDialog : public CommonDialog {
public:
    explicit Win32CommonDialog(HWND__* owner = nullptr) : owner_(owner) {}
    // The window the dialog sits over, disabled while it is open.
    void setOwner(HWND__* owner) { owner_ = owner; }

protected:
    std::optional<std::vector<std::string>> run(Mode mode) override;

private:
    HWND__* owner_;
};

namespace win32 {

// The absolute paths a confirmed dialog left in its buffer (`buffer` holds
// it whole, the list's end included), for dialogs of these Flags. One file
// is its full path. Several are the folder, then each name: NUL-separated
// and ended by an empty name in the Explorer dialog; in the old one,
// separated by spaces and named short, given back by their long names.
std::vector<std::string> selectedPaths(std::wstring_view buffer, long flags);

} // namespace win32

} // namespace glimmer
