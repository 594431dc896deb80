#pragma once

// What the benchmarks share: a window without an operator and a clock that skips the
// prescribed pauses.

#include "RecordingWindow.h"
#include "platform/Platform.h"

#include <QDateTime>
#include <cstdio>
#include <memory>

namespace tarvino::bench {

/// A benchmark has no operator: boxes and questions go to stderr, every question gets the same answer.
class BenchWindow final : public test::RecordingWindow {
public:
    explicit BenchWindow(Answer answer)
    {
        onMessage = [](const QString& text) { std::fprintf(stderr, "box: %s\n", qPrintable(text)); };
        onQuestion = [answer](const QString& text) {
            std::fprintf(stderr, "question (answered %s): %s\n", answer == Answer::Yes ? "Yes" : "No",
                         qPrintable(text));
            return answer;
        };
    }
};

/// The real clock, except that a sleep only moves it forward: both the time of
/// day and the monotonic clock run ahead by everything slept so far.
class SkippingClock final : public platform::Clock {
public:
    explicit SkippingClock(platform::Clock& real) : m_real(real) {}
    platform::LocalTime now() const override
    {
        const platform::LocalTime t = m_real.now();
        const QDateTime shifted =
            QDateTime(QDate(t.year, t.month, t.day), QTime(t.hour, t.minute, t.second, t.millisecond))
                .addMSecs(skipped.count());
        return {shifted.date().year(),   shifted.date().month(),  shifted.date().day(), shifted.time().hour(),
                shifted.time().minute(), shifted.time().second(), shifted.time().msec()};
    }
    std::chrono::milliseconds monotonic() const override { return m_real.monotonic() + skipped; }
    void sleep(std::chrono::milliseconds duration) override { skipped += duration; }

    std::chrono::milliseconds skipped{0};

private:
    platform::Clock& m_real;
};

/// The native platform with its pauses skipped; a benchmark may put timed file
/// operations or processes in front of the native ones.
class SkippingPlatform : public platform::Platform {
public:
    SkippingPlatform() : m_native(platform::createNativePlatform()), clockSkipping(m_native->clock()) {}
    platform::Clock& clock() override { return clockSkipping; }
    platform::FileSystem& files() override { return m_native->files(); }
    platform::Processes& processes() override { return m_native->processes(); }
    platform::WindowManager& windows() override { return m_native->windows(); }
    platform::Registry& registry() override { return m_native->registry(); }
    platform::SystemInfo& system() override { return m_native->system(); }

protected:
    platform::Platform& native() { return *m_native; }

private:
    std::unique_ptr<platform::Platform> m_native;

public:
    SkippingClock clockSkipping;
};

} // namespace tarvino::bench
