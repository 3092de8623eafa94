// Re-entry and what it keeps alive.
//
// A handler run from inside the component (an event handed out by the virtual window, a message pumped
// by a dialog of the source manager or of a source) may close or free the source, or unload the library,
// that the outer call is still using. So while any call of the component is on the stack, a source taken
// off the list is closed but not freed, and a library being unloaded is not freed: both are retired here
// and go when the outermost call returns.
#pragma once

#include "WinTypes.h"

#include <memory>
#include <vector>

class TTwainSource;

class TKeepAlive {
public:
    // Marks a call of the component as running for as long as it lives.
    class TScope {
    public:
        explicit TScope(TKeepAlive& keepAlive) : keepAlive_(keepAlive) { ++keepAlive_.busy_; }
        ~TScope() {
            if (--keepAlive_.busy_ == 0)
                keepAlive_.ReleaseRetired();
        }
        TScope(const TScope&) = delete;
        TScope& operator=(const TScope&) = delete;

    private:
        TKeepAlive& keepAlive_;
    };

    TKeepAlive();
    ~TKeepAlive();
    TKeepAlive(const TKeepAlive&) = delete;
    TKeepAlive& operator=(const TKeepAlive&) = delete;

    // True while a call of the component is running: what it may still use must be retired, not freed.
    bool Busy() const { return busy_ > 0; }
    void Retire(std::unique_ptr<TTwainSource> source);
    void Retire(HMODULE library);
    // Frees what was retired (a free that runs a handler again does not start a second round).
    void ReleaseRetired();

private:
    int busy_ = 0;
    bool releasing_ = false;
    std::vector<std::unique_ptr<TTwainSource>> retiredSources_;
    std::vector<HMODULE> retiredLibraries_;
};
