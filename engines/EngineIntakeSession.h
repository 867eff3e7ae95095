#pragma once
// What the engines' intake sessions share. A session belongs to its engine until the engine
// detaches it (it closes, or another session begins); a detached session does nothing, so it may
// outlive the engine's connection. Abandoning (or destroying) a session ends the engine's intake
// as complete() does and swallows its errors: the lines taken stay where line-by-line calls would
// have left them. E has endBulk() and m_session (an EngineIntakeSession<E>*) and befriends this
// template; the engine's own session adds add() and consolidate().
#include "engines/Engine.h"

namespace corvanta {

template <typename E>
class EngineIntakeSession : public IntakeSession {
public:
    explicit EngineIntakeSession(E& engine) : m_engine(&engine) { engine.m_session = this; }
    ~EngineIntakeSession() override { end(); }

    void complete() override { engine().endBulk(); }
    void abandon() noexcept override { end(); }

    void detach() noexcept
    {
        if (m_engine && m_engine->m_session == this)
            m_engine->m_session = nullptr;
        m_engine = nullptr;
    }

protected:
    E& engine()
    {
        if (!m_engine)
            throw DbError(QStringLiteral("The intake session has ended"));
        return *m_engine;
    }

    // A line must have the values of its kind.
    static void checkValues(IntakeKind kind, std::span<const std::string_view> values)
    {
        if (values.size() != std::size_t(intakeFieldCount(kind)))
            throw DbError(QStringLiteral("An intake line has %1 values instead of %2")
                              .arg(values.size())
                              .arg(intakeFieldCount(kind)));
    }

private:
    void end() noexcept
    {
        if (!m_engine)
            return;
        E& e = *m_engine;
        detach();
        try {
            e.endBulk();
        } catch (...) {
        }
    }

    E* m_engine;
};

}  // namespace corvanta
