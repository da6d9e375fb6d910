// Win32 only: lets the program's dialogs see each queued message before the
// event loop dispatches it, for keyboard navigation (IsDialogMessage).
#pragma once

namespace platform {

// `filter` gets a MSG*; true means the message was handled and must not be
// dispatched. Null removes the filter.
using MessageFilter = bool (*)(void* msg);
void SetMessageFilter(MessageFilter filter);

}  // namespace platform
