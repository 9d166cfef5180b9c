#include "platform/audiooutput.h"

#include <utility>

#include "platform/alsaaudiooutput.h"

namespace platform
{

namespace
{
AudioOutputFactory &installedFactory()
{
    static AudioOutputFactory factory;
    return factory;
}
} // namespace

std::unique_ptr<AudioOutput> createAudioOutput()
{
    if (installedFactory())
        return installedFactory()();
    return std::make_unique<AlsaAudioOutput>();
}

AudioOutputFactory setAudioOutputFactory(AudioOutputFactory factory)
{
    return std::exchange(installedFactory(), std::move(factory));
}

} // namespace platform
