// The environment of the core: what it takes from outside the process that a
// test may want to put in its own place, behind one class (as leveldb's Env
// is): the clock, the executable's path (every file "beside the executable"
// hangs on it), the system root of the Linux build, and the HTTP exchange
// with its time-outs. Product code reaches these only through GetEnv().
//
// The default environment is the real one. A test installs one of its own
// with SetEnv, mostly a CEnvWrapper that puts one or two things in place and
// forwards the rest to the environment it wraps.
// Thread safety: GetEnv and the default environment may be used from any
// thread; SetEnv only while no other thread uses the environment (before a
// worker starts, after it has ended).
#pragma once

#include <string>

#include "platform/Clock.h"
#include "platform/Http.h"

class CEnv {
public:
    CEnv() = default;
    virtual ~CEnv() = default;
    CEnv(const CEnv&) = delete;
    CEnv& operator=(const CEnv&) = delete;

    // All time and sleep of the core.
    virtual CClock& Clock() = 0;
    // Full file name of the running executable.
    virtual std::string ExecutablePath() = 0;
    // The directory under which the Linux build takes the paths outside the
    // executable's directory (the unit directories, the registry store,
    // /dev/log, /run/systemd); empty or "/" for the machine's own root. The
    // default is the environment variable VLM_SYSTEM_ROOT, else empty: an
    // offline root, as systemctl --root has one, for preparing an image.
    virtual std::string SystemRoot() = 0;
    // Time-outs of an HTTP exchange.
    virtual platform::SHttpTimeouts HttpTimeouts() = 0;
    // One HTTP exchange (platform::HttpGet).
    virtual platform::SHttpResult HttpGet(const platform::SHttpRequest& request, platform::IHttpBodySink& sink) = 0;
};

// Forwards every call to the environment it wraps.
class CEnvWrapper : public CEnv {
public:
    explicit CEnvWrapper(CEnv& target) : m_target(target) {}
    CClock& Clock() override { return m_target.Clock(); }
    std::string ExecutablePath() override { return m_target.ExecutablePath(); }
    std::string SystemRoot() override { return m_target.SystemRoot(); }
    platform::SHttpTimeouts HttpTimeouts() override { return m_target.HttpTimeouts(); }
    platform::SHttpResult HttpGet(const platform::SHttpRequest& request, platform::IHttpBodySink& sink) override {
        return m_target.HttpGet(request, sink);
    }
    CEnv& Target() const { return m_target; }

private:
    CEnv& m_target;
};

// The real environment; never destroyed.
CEnv& GetDefaultEnv();
// The environment in force: the default one unless another was set.
CEnv& GetEnv();
// Puts an environment in force (nullptr: the default one again). The caller
// keeps ownership.
void SetEnv(CEnv* pEnv);
