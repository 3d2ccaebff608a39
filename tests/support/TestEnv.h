// The environment of a test: what the test sets is put in place, the rest
// comes from the environment that was in force when this one was made. In
// force for its own life, so such environments nest like scopes.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "platform/Env.h"

class CTestEnv : public CEnvWrapper {
public:
    CTestEnv() : CEnvWrapper(GetEnv()) { SetEnv(this); }
    ~CTestEnv() override { SetEnv(&Target()); }

    CClock& Clock() override { return m_pClock ? *m_pClock : CEnvWrapper::Clock(); }
    std::string ExecutablePath() override { return m_strExecutable ? *m_strExecutable : CEnvWrapper::ExecutablePath(); }
    std::string SystemRoot() override { return m_strSystemRoot ? *m_strSystemRoot : CEnvWrapper::SystemRoot(); }
    platform::SHttpTimeouts HttpTimeouts() override { return m_timeouts ? *m_timeouts : CEnvWrapper::HttpTimeouts(); }
    platform::SHttpResult HttpGet(const platform::SHttpRequest& request, platform::IHttpBodySink& sink) override {
        return m_fnHttpGet ? m_fnHttpGet(request, sink) : CEnvWrapper::HttpGet(request, sink);
    }

    // What is put in place, where set.
    CClock* m_pClock = nullptr;
    std::optional<std::string> m_strExecutable;
    std::optional<std::string> m_strSystemRoot;
    std::optional<platform::SHttpTimeouts> m_timeouts;
    std::function<platform::SHttpResult(const platform::SHttpRequest&, platform::IHttpBodySink&)> m_fnHttpGet;
};
