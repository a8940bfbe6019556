// ShellHooks: the few things the core asks of the user-interface shell (a message the user must
// see, refreshing the dialogs), with a headless default so the core runs without a window.
#pragma once

#include <string>

#include "linalg/Diagnostics.h"

/// Implemented by the shell; the core calls it on the user-interface thread only.
class ShellHooks {
public:
    virtual ~ShellHooks() = default;
    /// A modal message with an OK button; returns once the user has closed it.
    virtual void showMessage(const std::string& text) = 0;
    /// The same message with the reason behind it (one line from the operation that failed, such as
    /// a reader's refusal). Hooks without a place for the reason show the message alone: the
    /// operation has printed the reason on the console already.
    virtual void showMessageWithReason(const std::string& text, const std::string& reason) { showMessage(text); }
    /// The tool dialogs re-read their controls (iteration count, amplitude, waves, propagation
    /// flags, the chart) from the model.
    virtual void refreshDialogs() = 0;
};

/// Without a shell: messages go to the console, there are no dialogs to refresh.
class HeadlessShellHooks : public ShellHooks {
public:
    void showMessage(const std::string& text) override {
        const bool endsWithNewline = !text.empty() && text.back() == '\n';
        diagPrintf("%s%s", text.c_str(), endsWithNewline ? "" : "\n");
    }
    void refreshDialogs() override {}
};

namespace shellhooks_detail {
inline HeadlessShellHooks& headless() {
    static HeadlessShellHooks hooks;
    return hooks;
}
inline ShellHooks*& current() {
    static ShellHooks* hooks = nullptr;
    return hooks;
}
}  // namespace shellhooks_detail

/// The hooks in force: the shell's once it has installed them, else the headless ones.
inline ShellHooks& shellHooks() {
    ShellHooks* hooks = shellhooks_detail::current();
    return hooks ? *hooks : shellhooks_detail::headless();
}

/// Installs hooks (nullptr restores the headless ones); returns the previous ones (nullptr when
/// they were the headless ones). The caller keeps the object alive while installed.
inline ShellHooks* setShellHooks(ShellHooks* hooks) {
    ShellHooks* previous = shellhooks_detail::current();
    shellhooks_detail::current() = hooks;
    return previous;
}
