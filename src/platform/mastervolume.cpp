#include "platform/mastervolume.h"

namespace
{
constexpr qint32 kRawPerPercent = 655;
} // namespace

bool findVolumeControl(platform::Mixer &mixer, quint32 hmixer, quint32 componentType, quint32 ctrlType,
                       platform::MixerControl &mxc)
{
    mxc = platform::MixerControl();
    return mixer.findControl(hmixer, componentType, ctrlType, mxc);
}

qint32 volumeControlValue(platform::Mixer &mixer, quint32 hmixer, const platform::MixerControl &mxc)
{
    return mixer.controlValue(hmixer, mxc);
}

qint32 masterVolume(platform::Mixer &mixer)
{
    platform::MixerControl volCtrl;
    if (!findVolumeControl(mixer, 0, kSpeakersComponent, kVolumeControlType, volCtrl))
        return -1;
    const qint32 raw = volumeControlValue(mixer, 0, volCtrl);
    // An unreadable fader is unknown, not silent: report it like a missing one.
    if (raw < 0)
        return -1;
    // 655 is odd, so no exact half occurs and rounding half up is exact.
    return static_cast<qint32>((static_cast<qint64>(raw) * 2 + kRawPerPercent) / (2 * kRawPerPercent));
}
