#pragma once

#include <memory>

#include "fakemixer.h"
#include "fakeservicemanager.h"
#include "platform/audiodevices.h"
#include "platform/nullaudiooutput.h"

// The machine's devices as a test's run sees them: a mixer whose volume reads
// as unknown until the test sets it, sound outputs that only count what they
// are given (or, while makeOutput is set, whatever it makes), and a service
// manager that keeps the commands it gets. What is changed here reaches
// objects already built, as a device changing under the program would.
class TestDevices
{
public:
    TestDevices() = default;
    TestDevices(const TestDevices &) = delete;
    TestDevices &operator=(const TestDevices &) = delete;

    FakeMixer mixer;
    std::shared_ptr<platform::NullAudioCounters> played = std::make_shared<platform::NullAudioCounters>();
    platform::AudioOutputFactory makeOutput;
    FakeServiceManager serviceManager;
    const platform::AudioDevices audio{mixer, [this]() -> std::unique_ptr<platform::AudioOutput> {
                                           if (makeOutput)
                                               return makeOutput();
                                           return std::make_unique<platform::NullAudioOutput>(played);
                                       }};
};
